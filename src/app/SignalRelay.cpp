// CSignalRelay: the signal handlers and the self-pipe that wakes the event loop.
#include "app/SignalRelay.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The self-pipe: the handler writes one byte per signal into the write end; the read end stays
// readable while a signal has not been taken. Both ends are non-blocking, so a burst of signals that
// fills the pipe loses nothing that matters (the pipe is still readable) and never blocks the handler.
int g_nPipeRead = -1;
int g_nPipeWrite = -1;

std::function<void()> &Handler()
{
    static std::function<void()> handler;
    return handler;
}

QPointer<QSocketNotifier> &Notifier()
{
    static QPointer<QSocketNotifier> notifier;
    return notifier;
}

extern "C" void OnSignal(int nSignal)
{
    const int nSavedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    if (g_nPipeWrite >= 0) {
        // Nothing to do when the pipe is full: it is readable already.
        [[maybe_unused]] const ssize_t n = write(g_nPipeWrite, &byte, 1);
    }
    errno = nSavedErrno;
}

} // namespace

void CSignalRelay::Install()
{
    if (g_nPipeRead >= 0)
        return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_nPipeRead = fds[0];
    g_nPipeWrite = fds[1];

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(nSignal, &action, nullptr);

    // A write to a driver that has gone away must report EPIPE, not end the process.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool CSignalRelay::Pending()
{
    if (g_nPipeRead < 0)
        return false;
    pollfd fd = {g_nPipeRead, POLLIN, 0};
    int n;
    do
        n = poll(&fd, 1, 0);
    while (n < 0 && errno == EINTR);
    return n > 0 && (fd.revents & POLLIN) != 0;
}

int CSignalRelay::WakeFd()
{
    return g_nPipeRead;
}

void CSignalRelay::Take()
{
    if (g_nPipeRead < 0)
        return;
    unsigned char buffer[64];
    for (;;) {
        const ssize_t n = read(g_nPipeRead, buffer, sizeof buffer);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        break; // empty (EAGAIN) or the pipe is gone
    }
}

void CSignalRelay::SetHandler(std::function<void()> handler)
{
    Handler() = std::move(handler);
    if (g_nPipeRead < 0 || !Notifier().isNull() || QCoreApplication::instance() == nullptr)
        return;
    // The notifier dies with the application object; a later SetHandler under a new one makes another.
    auto *notifier = new QSocketNotifier(g_nPipeRead, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        // Take first, so that a signal arriving while the handler runs wakes the loop again.
        Take();
        if (Handler())
            Handler()();
    });
    Notifier() = notifier;
}
