// CDriverRun: starting corvane-driver, reading its report lines and waiting for its end.
#include "DriverRun.h"

#include <QDeadlineTimer>

#include <csignal>
#include <cstdio>

CDriverRun::CDriverRun(const QStringList &options, const CTestSession &session)
{
    m_process.setProcessEnvironment(session.Environment());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(
        QStringLiteral(CORVANE_BINARY_DIR "/corvane-driver"),
        QStringList{QStringLiteral("--preview"), QStringLiteral(CORVANE_BINARY_DIR "/corvane-preview")} +
            options);
    m_process.waitForStarted(5000);
}

CDriverRun::~CDriverRun()
{
    if (m_process.state() != QProcess::NotRunning)
        Finish(1);
    // CORVANE_E2E_VERBOSE=1 shows every driver report, also of the tests that pass.
    if (qEnvironmentVariableIntValue("CORVANE_E2E_VERBOSE") != 0)
        std::fprintf(stderr, "%s\n", Output().toUtf8().constData());
}

void CDriverRun::ReadLines()
{
    while (m_process.canReadLine())
        m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
}

bool CDriverRun::WaitForLine(const QString &pattern, int nMs, QRegularExpressionMatch *match)
{
    const QRegularExpression expression(pattern);
    QDeadlineTimer deadline(nMs);
    for (;;) {
        ReadLines();
        for (const QString &line : std::as_const(m_lines)) {
            const QRegularExpressionMatch m = expression.match(line);
            if (m.hasMatch()) {
                if (match)
                    *match = m;
                return true;
            }
        }
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(50);
    }
}

bool CDriverRun::HasLine(const QString &pattern) const
{
    return CountLines(pattern) > 0;
}

int CDriverRun::CountLines(const QString &pattern) const
{
    const QRegularExpression expression(pattern);
    int count = 0;
    for (const QString &line : m_lines)
        count += expression.match(line).hasMatch() ? 1 : 0;
    return count;
}

int CDriverRun::Finish(int nMs)
{
    if (!m_process.waitForFinished(nMs)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        if (m_previewPid > 0)
            ::kill(m_previewPid, SIGKILL);
        ReadLines();
        m_lines << QString::fromUtf8(m_process.readAll());
        return -1;
    }
    ReadLines();
    if (!m_process.atEnd())
        m_lines << QString::fromUtf8(m_process.readAll()).trimmed();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
}

pid_t CDriverRun::PreviewPid()
{
    QRegularExpressionMatch match;
    if (m_previewPid < 0 && WaitForLine(QStringLiteral("^started .* pid=(\\d+)"), 5000, &match))
        m_previewPid = static_cast<pid_t>(match.captured(1).toInt());
    return m_previewPid;
}

quint64 CDriverRun::WindowId(int nMs)
{
    QRegularExpressionMatch match;
    if (!WaitForLine(QStringLiteral("^<- post WM_PREVIEW_OPENED serial=1 wParam=0x([0-9a-f]+)"), nMs, &match))
        return 0;
    return match.captured(1).toULongLong(nullptr, 16);
}
