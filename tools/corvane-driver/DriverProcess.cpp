// The job's files and the preview process: the folder, the socket pair, the start with /INI= and
// /HWND=, the wait for the end and the summary.
#include "DriverSession.h"

#include "driverside/PreviewStart.h"
#include "link/LinkMessages.h"
#include "log/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

CDriverSession::CDriverSession(const DriverOptions &options) : m_options(options)
{
    if (m_options.explicitReports) {
        m_reports = m_options.reports;
    } else {
        const int doneAt = m_options.doneAt < 0 ? m_options.pages : m_options.doneAt;
        for (int page = 1; page <= m_options.pages; ++page)
            m_reports.append({static_cast<quint64>(page), page == doneAt ? 1 : 0});
    }
}

CDriverSession::~CDriverSession() = default;

int CDriverSession::Run()
{
    if (!Prepare() || !StartPreview())
        return EXIT_USAGE;
    Loop();
    return Summary(WaitForPreview());
}

bool CDriverSession::Prepare()
{
    QString dir = m_options.jobDir;
    if (dir.isEmpty()) {
        QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/corvane-job-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            Log::Info(QStringLiteral("cannot create a job folder: ") +
                      QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        dir = QString::fromLocal8Bit(pattern);
        m_ownDir = true;
    } else if (!QDir().mkpath(dir)) {
        Log::Info(QStringLiteral("cannot create ") + dir);
        return false;
    }
    QString error;
    if (!WriteLabelJob(m_options, QFileInfo(dir).absoluteFilePath(), m_job, &error)) {
        Log::Info(error);
        return false;
    }
    Log::Info(QStringLiteral("job: %1 (%2 pages, %3 mm tape at %4 dpi)")
                  .arg(m_job.jobFile)
                  .arg(m_options.pages)
                  .arg(m_options.tapeWidthMm)
                  .arg(m_options.dpi));
    return true;
}

bool CDriverSession::StartPreview()
{
    PreviewCommand command;
    command.program = FindPreview(m_options.previewPath);
    if (command.program.isEmpty()) {
        Log::Info(QStringLiteral("corvane-preview not found (give --preview PATH)"));
        return false;
    }
    if (!m_options.noIni)
        command.jobFile = m_job.jobFile;
    command.bHwnd = !m_options.noHwnd;
    command.hwndText = m_options.hwndText;
    command.extraArguments = m_options.previewArgs;
    command.bStream = m_options.stream;
    command.outputFile = m_options.previewOutput;
    command.bInherit = !m_options.noInherit;

    m_start = Clock::now();
    PreviewProcess process;
    QString why;
    if (!::StartPreview(command, process, &why)) {
        Log::Info(why);
        return false;
    }
    m_pid = process.pid;
    m_channel = std::make_unique<CDriverChannel>(process.fd, m_options.stream);
    Log::Info(QStringLiteral("started %1 pid=%2 %3")
                  .arg(command.program)
                  .arg(m_pid)
                  .arg(process.arguments.join(u' ')));
    if (m_options.closeAtStart) {
        m_bCloseSent = true;
        Queue(m_options.sendClose ? FRAME_SEND : FRAME_POST, WM_PREVIEW_CLOSE, 0, 0);
    }
    return true;
}

// The socket's end comes when the preview has closed its end, normally as its process ends; it may
// still show a last message box (804 with 239) after that, so the wait has no limit.
int CDriverSession::WaitForPreview()
{
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

int CDriverSession::Summary(int waitStatus)
{
    bool clean = false;
    if (waitStatus >= 0 && WIFEXITED(waitStatus)) {
        Log::Info(QStringLiteral("preview exited with code %1").arg(WEXITSTATUS(waitStatus)));
        clean = WEXITSTATUS(waitStatus) == 0;
    } else if (waitStatus >= 0 && WIFSIGNALED(waitStatus)) {
        Log::Info(QStringLiteral("preview killed by signal %1").arg(WTERMSIG(waitStatus)));
    }
    const QStringList left = FilesLeft();
    Log::Info(left.isEmpty() ? QStringLiteral("left on disk: nothing")
                             : QStringLiteral("left on disk: ") + left.join(u' '));
    if (!m_options.keepFiles) {
        for (const QString &file : left)
            QFile::remove(file);
        if (m_ownDir)
            QDir().rmdir(m_job.dir);
    }

    int code = EXIT_CLOSED;
    QString decision = QStringLiteral("closed");
    if (!clean || (m_bOpened && !m_bEnded)) {
        code = EXIT_BROKEN;
        decision = QStringLiteral("none (the preview ended without WM_PREVIEW_ENDED or failed)");
    } else if (!m_bOpened) {
        code = EXIT_NOT_OPENED;
        decision = QStringLiteral("none (the preview did not open a window)");
    } else if (m_decision == 1) {
        code = EXIT_PRINT;
        decision = QStringLiteral("print");
    } else if (m_decision == 2) {
        code = EXIT_CANCEL;
        decision = QStringLiteral("cancel");
    }
    if (m_bEnded)
        Log::Info(QStringLiteral("job files gone at WM_PREVIEW_ENDED: ") +
                  (m_bFilesGoneAtEnded ? QStringLiteral("yes") : QStringLiteral("no")));
    Log::Info(QStringLiteral("decision: ") + decision);
    return code;
}

QStringList CDriverSession::FilesLeft() const
{
    QStringList left;
    const QDir dir(m_job.dir);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names)
        left << dir.filePath(name);
    return left;
}

long CDriverSession::PreviewRssKb() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
