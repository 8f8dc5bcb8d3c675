// The job's files and the preview process: the folder, the socket pair, the start with /INI= and
// /HWND=, the wait for the end and the summary.
#include "DriverSession.h"

#include "DriverLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QString FindPreview(const QString &given)
{
    if (!given.isEmpty())
        return given;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/corvane-preview");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("corvane-preview"));
}

} // namespace

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

CDriverSession::~CDriverSession()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

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
            Say(QStringLiteral("cannot create a job folder: ") +
                QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        dir = QString::fromLocal8Bit(pattern);
        m_ownDir = true;
    } else if (!QDir().mkpath(dir)) {
        Say(QStringLiteral("cannot create ") + dir);
        return false;
    }
    QString error;
    if (!WriteLabelJob(m_options, QFileInfo(dir).absoluteFilePath(), m_job, error)) {
        Say(error);
        return false;
    }
    Say(QStringLiteral("job: %1 (%2 pages, %3 mm tape at %4 dpi)")
            .arg(m_job.jobFile)
            .arg(m_options.pages)
            .arg(m_options.tapeWidthMm)
            .arg(m_options.dpi));
    return true;
}

bool CDriverSession::StartPreview()
{
    const QString preview = FindPreview(m_options.previewPath);
    if (preview.isEmpty()) {
        Say(QStringLiteral("corvane-preview not found (give --preview PATH)"));
        return false;
    }
    int pair[2];
    const int type = (m_options.stream ? SOCK_STREAM : SOCK_SEQPACKET) | SOCK_CLOEXEC;
    if (::socketpair(AF_UNIX, type, 0, pair) != 0) {
        Say(QStringLiteral("socketpair: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_fd = pair[0];
    const int childFd = pair[1];

    QStringList arguments;
    if (!m_options.noIni)
        arguments << QStringLiteral("/INI=") + m_job.jobFile;
    if (!m_options.noHwnd)
        arguments << QStringLiteral("/HWND=") + (m_options.hwndText.isEmpty()
                                                     ? QString::number(childFd, 16).toUpper()
                                                     : m_options.hwndText);
    arguments << m_options.previewArgs;

    // Everything the child needs is prepared before fork(): after it only async-signal-safe calls run.
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(preview));
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray output = QFile::encodeName(m_options.previewOutput);

    m_start = Clock::now();
    m_pid = ::fork();
    if (m_pid < 0) {
        Say(QStringLiteral("fork: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (m_pid == 0) {
        if (!m_options.noInherit)
            ::fcntl(childFd, F_SETFD, 0); // the preview inherits its end of the pair
        if (!output.isEmpty()) {
            const int fd = ::open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(childFd);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    Say(QStringLiteral("started %1 pid=%2 %3").arg(preview).arg(m_pid).arg(arguments.join(u' ')));
    if (m_options.closeAtStart) {
        m_bCloseSent = true;
        Queue(m_options.sendClose ? wire::SEND : wire::POST, wire::CLOSE, 0, 0);
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
        Say(QStringLiteral("preview exited with code %1").arg(WEXITSTATUS(waitStatus)));
        clean = WEXITSTATUS(waitStatus) == 0;
    } else if (waitStatus >= 0 && WIFSIGNALED(waitStatus)) {
        Say(QStringLiteral("preview killed by signal %1").arg(WTERMSIG(waitStatus)));
    }
    const QStringList left = FilesLeft();
    Say(left.isEmpty() ? QStringLiteral("left on disk: nothing")
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
        Say(QStringLiteral("job files gone at WM_PREVIEW_ENDED: ") +
            (m_bFilesGoneAtEnded ? QStringLiteral("yes") : QStringLiteral("no")));
    Say(QStringLiteral("decision: ") + decision);
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
