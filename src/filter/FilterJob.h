#pragma once

#include <QByteArray>
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
    // Reads the PPD and the job's options. False with the reason when the queue is not a preview
    // queue (no *CorvaneFilter naming a program). Notes that are no failure go to notes.
    bool ReadQueue(QStringList *notes, QString *why);

    quint32 JobId() const { return m_jobId; }
    const QByteArray &User() const { return m_user; }
    const QByteArray &Title() const { return m_title; }
    quint32 Copies() const { return m_copies; }
    // The file to read instead of stdin, empty for stdin.
    const QByteArray &File() const { return m_file; }
    // The arguments as given, for the printer's filter.
    char **Argv() const { return m_argv; }
    // The printer's filter program: a full path, or "-" when the printer takes the raster as it is.
    const QByteArray &PrinterFilter() const { return m_printerFilter; }
    WithoutSession Policy() const { return m_policy; }
    // Why the policy is what it is ("the job's option", "the queue's default").
    const QString &PolicySource() const { return m_policySource; }

    // The program of a *cupsFilter or *cupsFilter2 value, resolved in serverBin/filter unless it is a
    // full path; empty with the reason for a value that names none or a relative path with folders.
    static QByteArray ResolveProgram(const QByteArray &filterValue, const QByteArray &serverBin,
                                     QString *why);

private:
    quint32 m_jobId = 0;
    QByteArray m_user;
    QByteArray m_title;
    quint32 m_copies = 1;
    QByteArray m_options;
    QByteArray m_file;
    char **m_argv = nullptr;
    QByteArray m_printerFilter;
    WithoutSession m_policy = WithoutSession::Print;
    QString m_policySource;
};
