#include "Rasterizer.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_runningPid = 0;

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

pid_t CRasterizer::RunningPid()
{
    return g_runningPid;
}

int CRasterizer::Start(char **argv, int documentFd, QString *why)
{
    const char *serverBin = std::getenv("CUPS_SERVERBIN");
    m_program = QByteArray(serverBin != nullptr && *serverBin != '\0' ? serverBin : "/usr/lib/cups") +
                "/filter/gstoraster";
    const char *tmp = std::getenv("TMPDIR");
    QByteArray logPath = QByteArray(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/corvane-rip-XXXXXX";
    m_log = ::mkostemp(logPath.data(), O_CLOEXEC);
    if (m_log < 0) {
        *why = QStringLiteral("cannot make a file for the rasterizer's messages: %1").arg(Errno());
        return -1;
    }
    ::unlink(logPath.constData());
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        *why = QStringLiteral("cannot make a pipe for the rasterizer: %1").arg(Errno());
        return -1;
    }
    // Everything the child needs is made before the fork: after it, only async-signal-safe calls.
    char *childArgv[7] = {const_cast<char *>("gstoraster"), argv[1], argv[2], argv[3], argv[4], argv[5],
                          nullptr};
    static char kRasterType[] = "FINAL_CONTENT_TYPE=application/vnd.cups-raster";
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
        ::putenv(kRasterType);
        ::execv(m_program.constData(), childArgv);
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
    if (m_log >= 0)
        ::close(m_log);
    m_log = -1;
}

// The rasterizer's own words for a failure: its last ERROR line, else how it ended.
QString CRasterizer::Reason(int status)
{
    if ((WIFEXITED(status) && WEXITSTATUS(status) == 0) || (WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE))
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
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("ERROR: "))
            last = line.mid(7).trimmed();
    }
    QString ended = WIFEXITED(status) ? QStringLiteral("exit status %1").arg(WEXITSTATUS(status))
                                      : QStringLiteral("signal %1").arg(WTERMSIG(status));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && last.isEmpty())
        ended = QStringLiteral("%1 cannot be run").arg(QFile::decodeName(m_program));
    return last.isEmpty() ? QStringLiteral("gstoraster ended with %1").arg(ended)
                          : QStringLiteral("gstoraster: %1 (%2)").arg(QString::fromUtf8(last.left(300)), ended);
}
