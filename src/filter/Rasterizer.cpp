// CRasterizer: starting CUPS's rasterizer, its temporary folder, and stopping it.
#include "Rasterizer.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

volatile sig_atomic_t g_runningPid = 0;
// The rasterizer's own temporary folder, and "TMPDIR=" it for its environment: Ghostscript keeps
// temporary files that a rasterizer ended by a cancel leaves behind; the folder goes with them.
char g_folder[4096];
char g_tmpdirEntry[4096 + 8];

// Removes g_folder and the files in it, with system calls only (it runs in the SIGTERM handler too).
void RemoveFolder()
{
    if (g_folder[0] == '\0')
        return;
    const int fd = ::open(g_folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (bool removed = fd >= 0; removed;) {
        removed = false;
        ::lseek(fd, 0, SEEK_SET);
        alignas(8) char buffer[4096];
        for (long n; (n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0;) {
            for (long at = 0; at < n;) {
                const auto *entry = reinterpret_cast<const struct dirent64 *>(buffer + at);
                const char *name = entry->d_name;
                if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))))
                    removed = ::unlinkat(fd, name, 0) == 0 || removed;
                at += entry->d_reclen;
            }
        }
    }
    if (fd >= 0)
        ::close(fd);
    ::rmdir(g_folder);
    g_folder[0] = '\0';
}

// How long a rasterizer told to end may take before it is killed.
constexpr int kStopGraceMs = 2000;

QString Errno()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

CRasterizer::~CRasterizer()
{
    Stop();
}

void CRasterizer::EndOnSignal()
{
    if (const pid_t pid = g_runningPid; pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    RemoveFolder();
}

int CRasterizer::Start(char **argv, int documentFd, const FilterEnvironment &environment, QString *why)
{
    m_program = environment.serverBin + "/filter/gstoraster";
    QByteArray folder = environment.tempDir + "/corvane-rip-XXXXXX";
    if (folder.size() >= static_cast<qsizetype>(sizeof g_folder) - 16 ||
        ::mkdtemp(folder.data()) == nullptr) {
        *why = QStringLiteral("cannot make a folder for the rasterizer: %1").arg(Errno());
        return -1;
    }
    std::strcpy(g_folder, folder.constData());
    std::strcpy(g_tmpdirEntry, ("TMPDIR=" + folder).constData());
    QByteArray logPath = folder + "/messages-XXXXXX";
    m_log = ::mkostemp(logPath.data(), O_CLOEXEC);
    if (m_log < 0) {
        *why = QStringLiteral("cannot make a file for the messages of the rasterizer: %1").arg(Errno());
        return -1;
    }
    ::unlink(logPath.constData());
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        *why = QStringLiteral("cannot make a pipe for the rasterizer: %1").arg(Errno());
        return -1;
    }
    // Everything the child needs is made before the fork: after it, only async-signal-safe calls.
    // The document by name (the spool through /dev/fd) rather than as stdin: gstoraster would copy
    // stdin into a temporary file of its own, which a cancel would leave behind.
    char *childArgv[8] = {const_cast<char *>("gstoraster"), argv[1], argv[2], argv[3], argv[4], argv[5],
                          const_cast<char *>("/dev/fd/0"),  nullptr};
    static char kRasterType[] = "FINAL_CONTENT_TYPE=application/vnd.cups-raster";
    std::vector<char *> childEnvironment;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "FINAL_CONTENT_TYPE=", 19) != 0 && std::strncmp(*entry, "TMPDIR=", 7) != 0)
            childEnvironment.push_back(*entry);
    }
    childEnvironment.push_back(kRasterType);
    childEnvironment.push_back(g_tmpdirEntry);
    childEnvironment.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        *why = QStringLiteral("cannot start the rasterizer: %1").arg(Errno());
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return -1;
    }
    if (pid == 0) {
        // The rasterizer ends with corvane-cups, however that ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::lseek(documentFd, 0, SEEK_SET) != 0 || ::dup2(documentFd, STDIN_FILENO) < 0 ||
            ::dup2(pipeFds[1], STDOUT_FILENO) < 0 || ::dup2(m_log, STDERR_FILENO) < 0)
            ::_exit(127);
        ::execve(m_program.constData(), childArgv, childEnvironment.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_pid = pid;
    g_runningPid = pid;
    m_raster = pipeFds[0];
    return m_raster;
}

QString CRasterizer::Finish()
{
    if (m_pid <= 0)
        return {};
    // A rasterizer still writing ends on the closed pipe: its raster is not wanted any more.
    ::close(m_raster);
    m_raster = -1;
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    g_runningPid = 0;
    const QString reason = Reason(status);
    Stop();
    return reason;
}

void CRasterizer::Stop()
{
    if (m_raster >= 0)
        ::close(m_raster);
    m_raster = -1;
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int waited = 0; ::waitpid(m_pid, &status, WNOHANG) == 0; waited += 10) {
            if (waited >= kStopGraceMs) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            ::usleep(10000);
        }
        m_pid = -1;
        g_runningPid = 0;
    }
    RemoveFolder();
    if (m_log >= 0)
        ::close(m_log);
    m_log = -1;
}

// The rasterizer's own words for a failure: its last ERROR line, else its first WARNING, and how it
// ended.
QString CRasterizer::Reason(int status)
{
    if ((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
        (WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE))
        return {};
    QByteArray text;
    if (m_log >= 0 && ::lseek(m_log, 0, SEEK_SET) == 0) {
        char buffer[16 * 1024];
        for (ssize_t n; (n = ::read(m_log, buffer, sizeof buffer)) > 0;) {
            text.append(buffer, n);
            if (text.size() > 256 * 1024)
                text = text.right(64 * 1024);
        }
    }
    QByteArray last;
    QByteArray warning;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("ERROR: "))
            last = line.mid(7).trimmed();
        else if (line.startsWith("WARNING: ") && warning.isEmpty())
            warning = line.mid(9).trimmed();
    }
    if (last.isEmpty())
        last = warning;
    QString ended = WIFEXITED(status) ? QStringLiteral("exit status %1").arg(WEXITSTATUS(status))
                                      : QStringLiteral("signal %1").arg(WTERMSIG(status));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && last.isEmpty())
        ended = QStringLiteral("%1 cannot be run").arg(QFile::decodeName(m_program));
    return last.isEmpty()
               ? QStringLiteral("gstoraster ended with %1").arg(ended)
               : QStringLiteral("gstoraster: %1 (%2)").arg(QString::fromUtf8(last.left(300)), ended);
}
