#include "PrinterFilter.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

QString CopyToStdout(int inputFd)
{
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(inputFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QStringLiteral("the spool file cannot be read: %1")
                .arg(QString::fromLocal8Bit(strerror(errno)));
        if (n == 0)
            return {};
        for (ssize_t at = 0; at < n;) {
            const ssize_t w = ::write(STDOUT_FILENO, buffer + at, static_cast<size_t>(n - at));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return QStringLiteral("the raster cannot be written on: %1")
                    .arg(QString::fromLocal8Bit(strerror(errno)));
            at += w;
        }
    }
}

} // namespace

QString RunPrinterFilter(const QByteArray &program, char **argv, int inputFd)
{
    if (program == "-") {
        const QString error = CopyToStdout(inputFd);
        return error.isEmpty() ? QString() : error;
    }
    if (inputFd != STDIN_FILENO) {
        if (::dup2(inputFd, STDIN_FILENO) < 0)
            return QStringLiteral("cannot hand the raster on: %1")
                .arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(inputFd);
    }
    // The printer's filter starts as the scheduler starts filters: default signal handling, nothing
    // blocked.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program.constData(), argv);
    return QStringLiteral("the printer's filter %1 cannot be run: %2")
        .arg(QString::fromLocal8Bit(program), QString::fromLocal8Bit(strerror(errno)));
}
