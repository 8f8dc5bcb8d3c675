// Running the printer's own filter with the spooled head and the rest of the input.
#include "PrinterFilter.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const char *data, size_t length)
{
    while (length > 0) {
        const ssize_t w = ::write(fd, data, length);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        length -= static_cast<size_t>(w);
    }
    return true;
}

QString CopyTo(int outputFd, int inputFd, const QByteArray &head)
{
    if (!WriteAll(outputFd, head.constData(), static_cast<size_t>(head.size())))
        return QStringLiteral("the data cannot be written on: %1")
            .arg(QString::fromLocal8Bit(strerror(errno)));
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(inputFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QStringLiteral("the job cannot be read: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        if (n == 0)
            return {};
        if (!WriteAll(outputFd, buffer, static_cast<size_t>(n)))
            return QStringLiteral("the data cannot be written on: %1")
                .arg(QString::fromLocal8Bit(strerror(errno)));
    }
}

// The printer's filter reads head and then the rest of inputFd from a pipe that a child of this process
// fills; the new stdin, -1 on failure.
int Feed(int inputFd, const QByteArray &head)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t feeder = ::fork();
    if (feeder < 0)
        return -1;
    if (feeder == 0) {
        ::close(fds[0]);
        std::signal(SIGPIPE, SIG_DFL);
        ::_exit(CopyTo(fds[1], inputFd, head).isEmpty() ? 0 : 1);
    }
    ::close(fds[1]);
    ::close(inputFd);
    return fds[0];
}

// The reason when the data could not be handed on or the program not run; empty after a good copy.
QString HandOn(const QByteArray &program, char **argv, int inputFd, int outputFd, const QByteArray &head)
{
    if (program == "-")
        return CopyTo(outputFd, inputFd, head);
    if (!head.isEmpty())
        inputFd = Feed(inputFd, head);
    if (inputFd < 0)
        return QStringLiteral("cannot hand the data on: %1").arg(QString::fromLocal8Bit(strerror(errno)));
    if (inputFd != STDIN_FILENO) {
        if (::dup2(inputFd, STDIN_FILENO) < 0)
            return QStringLiteral("cannot hand the raster on: %1")
                .arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(inputFd);
    }
    if (outputFd != STDOUT_FILENO && ::dup2(outputFd, STDOUT_FILENO) < 0)
        return QStringLiteral("cannot hand the output on: %1").arg(QString::fromLocal8Bit(strerror(errno)));
    // The printer's filter starts as the scheduler starts filters: default signal handling, nothing
    // blocked.
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program.constData(), argv);
    return QStringLiteral("the filter %1 of the printer cannot be run: %2")
        .arg(QString::fromLocal8Bit(program), QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

bool RunPrinterFilter(const QByteArray &program, char **argv, int inputFd, int outputFd,
                      const QByteArray &head, QString *why)
{
    const QString error = HandOn(program, argv, inputFd, outputFd, head);
    if (!error.isEmpty() && why != nullptr)
        *why = error;
    return error.isEmpty();
}
