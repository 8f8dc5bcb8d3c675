// CDriverLink: taking the link's socket from the handle, opening and closing it, its notifiers.
#include "app/DriverLinkImpl.h"

#include "app/SignalRelay.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Standard streams are never the link, whatever they are connected to.
constexpr int kFirstLinkFd = 3;

// The socket type when fd is an open, connected AF_UNIX socket that carries frames, else 0.
int LinkSocketType(int fd)
{
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode))
        return 0;
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0 || address.ss_family != AF_UNIX)
        return 0;
    int nType = 0;
    socklen_t typeLength = sizeof nType;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &nType, &typeLength) != 0)
        return 0;
    if (nType != SOCK_SEQPACKET && nType != SOCK_STREAM)
        return 0;
    length = sizeof address;
    return getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 ? nType : 0;
}

// The descriptor handle names when it can carry the link (fd and its type), else false. Sets
// close-on-exec on a descriptor it accepts.
bool TakeLinkDescriptor(quint64 handle, int *pFd, bool *pStream)
{
    if (handle < kFirstLinkFd || handle > static_cast<quint64>(INT_MAX))
        return false;
    const int fd = static_cast<int>(handle);
    const int nType = LinkSocketType(fd);
    if (nType == 0)
        return false;
    const int nFlags = fcntl(fd, F_GETFD);
    if (nFlags < 0 || fcntl(fd, F_SETFD, nFlags | FD_CLOEXEC) != 0)
        return false;
    *pFd = fd;
    *pStream = nType == SOCK_STREAM;
    return true;
}

} // namespace

CDriverLink::Impl::~Impl()
{
    delete context; // takes the notifiers and any delivery still queued with it
    if (fd >= 0)
        ::close(fd);
    if (nClaimedFd >= 0)
        ::close(nClaimedFd);
}

// The connection's end: the descriptor is closed; messages already received are still delivered.
void CDriverLink::Impl::Close()
{
    if (fd < 0)
        return;
    for (QSocketNotifier *notifier : {readNotifier.data(), writeNotifier.data()}) {
        if (notifier != nullptr) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    readNotifier = nullptr;
    writeNotifier = nullptr;
    ::close(fd);
    fd = -1;
    outgoing.clear();
    nOutOffset = 0;
    nQueuedReplies = 0;
}

// The notifiers and the delivery context need a QCoreApplication; they are made the first time one
// exists, so the link itself can be built during static initialisation.
void CDriverLink::Impl::EnsureEventLoopHooks()
{
    // An application still being constructed (its toolkit failing to start) has no event loop yet.
    QCoreApplication *application = QCoreApplication::instance();
    if (application == nullptr || QAbstractEventDispatcher::instance() == nullptr)
        return;
    if (context.isNull()) {
        context = new QObject(application);
        if (!queued.empty())
            ScheduleDelivery();
    }
    if (fd < 0 || !readNotifier.isNull())
        return;
    readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(readNotifier, &QSocketNotifier::activated, context, [this] {
        ReadAvailable(kReadBudget);
        Deliver();
    });
    writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, context);
    writeNotifier->setEnabled(false);
    QObject::connect(writeNotifier, &QSocketNotifier::activated, context, [this] {
        Flush();
        UpdateNotifiers();
    });
    UpdateNotifiers();
}

void CDriverLink::Impl::UpdateNotifiers()
{
    if (!writeNotifier.isNull())
        writeNotifier->setEnabled(!outgoing.empty());
    if (!readNotifier.isNull())
        readNotifier->setEnabled(!ReadPaused());
}

CDriverLink::CDriverLink() : m_pImpl(new Impl) {}

CDriverLink::~CDriverLink()
{
    delete m_pImpl;
}

void CDriverLink::Claim(quint64 handle)
{
    Impl &d = *m_pImpl;
    if (d.nClaimedFd >= 0)
        ::close(d.nClaimedFd);
    d.bClaimed = true;
    d.nClaimedHandle = handle;
    d.nClaimedFd = -1;
    if (!TakeLinkDescriptor(handle, &d.nClaimedFd, &d.bClaimedStream))
        d.nClaimedFd = -1;
}

void CDriverLink::Attach(quint64 handle)
{
    Impl &d = *m_pImpl;
    d.bCloseEndsWait = true;
    if (d.fd >= 0 && handle == static_cast<quint64>(d.fd))
        return; // the link has it already
    d.Close();
    d.reader = CDriverFrameReader();
    d.nNextSerial = 1;
    int fd = -1;
    bool bStream = false;
    if (d.bClaimed && handle == d.nClaimedHandle) {
        // The claimed verdict stands; the descriptor passes to the link (once).
        fd = d.nClaimedFd;
        bStream = d.bClaimedStream;
        d.nClaimedFd = -1;
    } else if (!TakeLinkDescriptor(handle, &fd, &bStream)) {
        return;
    }
    if (fd < 0)
        return;
    d.bStream = bStream;
    d.fd = fd;
    d.EnsureEventLoopHooks();
}

bool CDriverLink::IsConnected() const
{
    return m_pImpl->fd >= 0;
}

void CDriverLink::Post(quint32 message, quint64 wParam, qint64 lParam)
{
    if (m_pImpl->fd < 0)
        return;
    m_pImpl->EnsureEventLoopHooks();
    DriverFrame frame;
    frame.kind = FRAME_POST;
    frame.message = message;
    frame.serial = m_pImpl->nNextSerial++;
    frame.wParam = wParam;
    frame.lParam = lParam;
    m_pImpl->Enqueue(frame, true);
}

qint64 CDriverLink::Send(quint32 message, quint64 wParam, qint64 lParam)
{
    Impl &d = *m_pImpl;
    d.bAborted = false;
    if (d.fd < 0 || d.bWaiting)
        return 0;
    d.EnsureEventLoopHooks();
    DriverFrame frame;
    frame.kind = FRAME_SEND;
    frame.message = message;
    frame.serial = d.nNextSerial++;
    frame.wParam = wParam;
    frame.lParam = lParam;

    d.bWaiting = true;
    d.bGotReply = false;
    d.bCloseArrived = false;
    d.nWaitMessage = message;
    d.nWaitSerial = frame.serial;
    d.nReply = 0;
    d.AnswerOwedSends();
    d.Enqueue(frame, true);

    while (d.fd >= 0 && !d.bGotReply) {
        if ((d.bCloseArrived && d.bCloseEndsWait) || CSignalRelay::Pending()) {
            d.bAborted = true;
            break;
        }
        const int nEvents = (d.ReadPaused() ? 0 : POLLIN) | (d.outgoing.empty() ? 0 : POLLOUT);
        pollfd fds[2] = {{d.fd, static_cast<short>(nEvents), 0}, {CSignalRelay::WakeFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue; // a signal: the loop looks at it
            break;
        }
        if (fds[0].revents & POLLOUT)
            d.Flush();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            d.ReadAvailable(Impl::kReadBudget);
        if (d.fd >= 0 && (fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN))
            d.Close();
    }
    d.bWaiting = false;
    d.UpdateNotifiers();
    d.ScheduleDelivery();
    if (d.bGotReply)
        return d.nReply;
    return 0;
}

bool CDriverLink::IsWaiting() const
{
    return m_pImpl->bWaiting;
}

void CDriverLink::SetCloseEndsWait(bool bEnds)
{
    m_pImpl->bCloseEndsWait = bEnds;
}

bool CDriverLink::LastSendAborted() const
{
    return m_pImpl->bAborted;
}

void CDriverLink::SetReceiver(Receiver receiver)
{
    m_pImpl->receiver = std::move(receiver);
    m_pImpl->EnsureEventLoopHooks();
    if (!m_pImpl->queued.empty())
        m_pImpl->ScheduleDelivery();
}
