// The tests' private CUPS scheduler, run through scripts/private-cupsd.sh.
#include "PrivateCups.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cups/cups.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

QString Script()
{
    return QStringLiteral(CORVANE_SOURCE_DIR "/scripts/private-cupsd.sh");
}

int RunProgram(const QString &program, const QStringList &arguments, const QString &server, QString *output)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!server.isEmpty())
        env.insert(QStringLiteral("CUPS_SERVER"), server);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        if (output != nullptr)
            *output = QStringLiteral("%1 did not finish").arg(program);
        return -1;
    }
    if (output != nullptr)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

CPrivateCups &CPrivateCups::Instance()
{
    static CPrivateCups instance;
    return instance;
}

CPrivateCups::CPrivateCups()
{
    if (::geteuid() != 0)
        m_missing = QStringLiteral(
            "the CUPS tests start a private scheduler, which runs filters as lp: run them as root");
    else if (QStandardPaths::findExecutable(QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin")}).isEmpty())
        m_missing =
            QStringLiteral("cupsd is not installed (package cups-daemon; scripts/setup.sh installs it)");
    else if (QStandardPaths::findExecutable(QStringLiteral("ppdc")).isEmpty())
        m_missing = QStringLiteral("ppdc is not installed (package cups-ppdc)");
    else
        Start();
}

CPrivateCups::~CPrivateCups()
{
    if (m_started)
        RunProgram(QStringLiteral("bash"), {Script(), QStringLiteral("stop"), m_dir}, {}, nullptr);
    if (!m_dir.isEmpty() && qEnvironmentVariableIntValue("CORVANE_CUPS_KEEP") == 0)
        QDir(m_dir).removeRecursively();
}

// The folder lies in the build tree: cupsd runs filters as lp, which must reach it.
void CPrivateCups::Start()
{
    m_privateMounts =
        ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    m_dir = QStringLiteral(CORVANE_BINARY_DIR "/tests/cups/cupsd-%1").arg(::getpid());
    QDir(m_dir).removeRecursively();
    QString output;
    if (RunProgram(
            QStringLiteral("bash"),
            {Script(), QStringLiteral("start"), m_dir, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cups")},
            {}, &output) != 0) {
        m_broken = QStringLiteral("the private cupsd did not start: ") + output;
        return;
    }
    m_started = true;
    const QString ppds = m_dir + QStringLiteral("/ppds");
    const QString preview = ppds + QStringLiteral("/preview.ppd");
    if (RunProgram(QStringLiteral("ppdc"),
                   {QStringLiteral("-d"), ppds, QStringLiteral("/usr/share/cups/drv/sample.drv")}, {},
                   &output) != 0) {
        m_broken = QStringLiteral("ppdc: ") + output;
        return;
    }
    if (RunProgram(QStringLiteral(CORVANE_BINARY_DIR "/corvane-ppd"),
                   {ppds + QStringLiteral("/dymo.ppd"), QStringLiteral("-o"), preview}, {}, &output) != 0) {
        m_broken = QStringLiteral("corvane-ppd: ") + output;
        return;
    }
    const struct {
        QString name, ppd;
    } queues[] = {{QStringLiteral("direct"), ppds + QStringLiteral("/dymo.ppd")},
                  {QStringLiteral("preview"), preview}};
    for (const auto &q : queues) {
        if (Client(QStringLiteral("lpadmin"),
                   {QStringLiteral("-p"), q.name, QStringLiteral("-E"), QStringLiteral("-v"),
                    QStringLiteral("file://%1/out/%2.prn").arg(m_dir, q.name), QStringLiteral("-P"), q.ppd},
                   &output) != 0) {
            m_broken = QStringLiteral("lpadmin: ") + output;
            return;
        }
    }
}

int CPrivateCups::Client(const QString &program, const QStringList &arguments, QString *output) const
{
    return RunProgram(program, arguments, m_dir + QStringLiteral("/cups.sock"), output);
}

int CPrivateCups::Submit(const QString &queue, const QString &file, const QStringList &options) const
{
    QStringList arguments{QStringLiteral("-d"), queue};
    for (const QString &option : options)
        arguments << QStringLiteral("-o") << option;
    arguments << file;
    QString output;
    if (Client(QStringLiteral("lp"), arguments, &output) != 0)
        return 0;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("request id is \\S+-(\\d+)")).match(output);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString CPrivateCups::WaitForJobEnd(int job, int nMs) const
{
    cupsSetServer(QFile::encodeName(m_dir + QStringLiteral("/cups.sock")).constData());
    QDeadlineTimer deadline(nMs);
    for (;;) {
        cups_job_t *jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        ipp_jstate_t state = IPP_JSTATE_PENDING;
        for (int i = 0; i < count; ++i) {
            if (jobs[i].id == job)
                state = jobs[i].state;
        }
        cupsFreeJobs(count, jobs);
        switch (state) {
        case IPP_JSTATE_HELD:
            return QStringLiteral("held");
        case IPP_JSTATE_STOPPED:
            return QStringLiteral("stopped");
        case IPP_JSTATE_CANCELED:
            return QStringLiteral("canceled");
        case IPP_JSTATE_ABORTED:
            return QStringLiteral("aborted");
        case IPP_JSTATE_COMPLETED:
            return QStringLiteral("completed");
        default:
            break;
        }
        if (deadline.hasExpired())
            return QStringLiteral("timeout");
        QThread::msleep(10);
    }
}

QString CPrivateCups::JobStatus(int job) const
{
    QString output;
    Client(QStringLiteral("lpstat"),
           {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-l"), QStringLiteral("-o")},
           &output);
    const QRegularExpression block(QStringLiteral("^\\S+-%1 .*\\n\\s*Status: ([^\\n]*)").arg(job),
                                   QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = block.match(output);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString CPrivateCups::QueueState(const QString &queue) const
{
    QString output;
    Client(QStringLiteral("lpstat"), {QStringLiteral("-p"), queue}, &output);
    return output.trimmed();
}

QByteArray CPrivateCups::Output(const QString &queue) const
{
    QFile file(QStringLiteral("%1/out/%2.prn").arg(m_dir, queue));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void CPrivateCups::ClearOutput(const QString &queue) const
{
    QFile::remove(QStringLiteral("%1/out/%2.prn").arg(m_dir, queue));
}

QString CPrivateCups::ErrorLog() const
{
    QFile file(m_dir + QStringLiteral("/log/error_log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList CPrivateCups::TempFiles() const
{
    return QDir(m_dir + QStringLiteral("/spool/tmp"))
        .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QString CPrivateCups::LabelPdf(int pages) const
{
    const QString pdf = m_dir + QStringLiteral("/label%1.pdf").arg(pages);
    if (QFile::exists(pdf))
        return pdf;
    const QString ps = m_dir + QStringLiteral("/label%1.ps").arg(pages);
    QFile file(ps);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QStringLiteral("%!PS\n/Helvetica findfont 20 scalefont setfont\n"
                              "1 1 %1 { /n exch def 8 120 moveto (Page ) show n 3 string cvs show\n"
                              "5 5 moveto 60 200 rlineto stroke showpage } for\n")
                   .arg(pages)
                   .toUtf8());
    file.close();
    QString output;
    if (RunProgram(QStringLiteral("gs"),
                   {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                    QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-dDEVICEWIDTHPOINTS=81"),
                    QStringLiteral("-dDEVICEHEIGHTPOINTS=252"), QStringLiteral("-sOutputFile=") + pdf, ps},
                   {}, &output) != 0)
        return {};
    return pdf;
}

QByteArray CPrivateCups::PrintDirect(const QString &file, const QString &queue) const
{
    ClearOutput(queue);
    const int job = Submit(queue, file);
    if (job == 0 || WaitForJobEnd(job) != QStringLiteral("completed"))
        return {};
    return Output(queue);
}
