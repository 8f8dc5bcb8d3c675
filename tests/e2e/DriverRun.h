#pragma once
// One run of corvane-driver in the test session.

#include "XSession.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <sys/types.h>

// One run of corvane-driver in the test session: its report, line by line as it comes, the preview's
// pid and the exit code.
class CDriverRun {
public:
    // Starts corvane-driver (beside the preview in the build folder) with the given options, in the
    // session's environment (the preview inherits it).
    explicit CDriverRun(const QStringList &options, const CTestSession &session = CXSession::Instance());
    ~CDriverRun();

    // Waits until a line matching pattern has been printed; false after nMs or at the driver's end.
    bool WaitForLine(const QString &pattern, int nMs = 10000, QRegularExpressionMatch *match = nullptr);
    bool HasLine(const QString &pattern) const;
    int CountLines(const QString &pattern) const;
    // The driver's exit code once it has ended (-1 when it had to be killed after nMs, -2 when it
    // died by a signal).
    int Finish(int nMs = 20000);
    pid_t PreviewPid();
    // The preview window's id from its WM_PREVIEW_OPENED, as the driver reported it; 0 when none came
    // within nMs.
    quint64 WindowId(int nMs = 15000);
    QString Output() const { return m_lines.join(u'\n'); }

private:
    void ReadLines();

    QProcess m_process;
    QStringList m_lines;
    pid_t m_previewPid = -1;
};
