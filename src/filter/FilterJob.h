#pragma once
// What the scheduler tells corvane-cups about its job, and the printer's filter to run.

#include "FilterEnvironment.h"
#include "InputKind.h"
#include "cups/PagePlacement.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// What the scheduler tells corvane-cups about its job: the command line every CUPS filter gets
//   corvane-cups job-id user title copies options [file]
// and, from the queue's PPD (named by $PPD), the printer's own filter and what to do without a preview.
class CFilterJob {
public:
    enum class WithoutSession { Print, Drop };

    // False with the reason when the command line is not a filter's.
    bool ParseArguments(int argc, char **argv, QString *why);
    // Reads the PPD (environment.ppd) and the job's options; filter names resolve in
    // environment.serverBin. False with the reason when the queue is not a preview
    // queue (no *CorvaneFilter, or one naming no program). Notes that are no failure go to notes.
    bool ReadQueue(const FilterEnvironment &environment, QStringList *notes, QString *why);
    // Takes the printer's filter for input of kind: the first *CorvaneFilter whose source type takes
    // it, else the first of all (whose road then says what is wrong with the input). True when that
    // filter takes a document (PDF or PostScript) rather than raster.
    bool ChooseFilter(inputkind::Kind kind);

    quint32 JobId() const { return m_jobId; }
    const QByteArray &User() const { return m_user; }
    const QByteArray &Title() const { return m_title; }
    quint32 Copies() const { return m_copies; }
    // The file to read instead of stdin, empty for stdin.
    const QByteArray &File() const { return m_file; }
    // The arguments as given, for the printer's filter.
    char **Argv() const { return m_argv; }
    // The chosen printer's filter program: a full path, or "-" when the printer takes the data as it is.
    const QByteArray &PrinterFilter() const { return m_printerFilter; }
    // The chosen filter's source MIME type.
    const QByteArray &PrinterFilterSource() const { return m_printerFilterSource; }
    // The PPD's page sizes with their imageable areas.
    const QList<PaperSize> &PaperSizes() const { return m_paperSizes; }
    WithoutSession Policy() const { return m_policy; }
    // Why the policy is what it is ("the job's option", "the queue's default").
    const QString &PolicySource() const { return m_policySource; }

    // A filter line's program resolved in serverBin/filter unless it is a full path or "-"; empty with
    // the reason for a relative path with folders or a name with blanks.
    static QByteArray ResolveProgram(const QByteArray &program, const QByteArray &serverBin, QString *why);

private:
    quint32 m_jobId = 0;
    QByteArray m_user;
    QByteArray m_title;
    quint32 m_copies = 1;
    QByteArray m_options;
    QByteArray m_file;
    char **m_argv = nullptr;
    struct Filter {
        QByteArray source;
        QByteArray program;
    };
    QList<Filter> m_filters;
    QByteArray m_printerFilter;
    QByteArray m_printerFilterSource;
    WithoutSession m_policy = WithoutSession::Print;
    QString m_policySource;
    QList<PaperSize> m_paperSizes;
};
