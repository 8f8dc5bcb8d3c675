// The agent's socket name, listening and connecting on it, and the checks of the peer's uid.
#include "cups/Rendezvous.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace rendezvous {
namespace {

// The abstract address of name (cut to what the address holds).
socklen_t AbstractAddress(QByteArray name, sockaddr_un &address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    name.truncate(static_cast<qsizetype>(sizeof address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.constData(), static_cast<size_t>(name.size()));
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(name.size()));
}

QString ErrnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A non-blocking, close-on-exec SOCK_SEQPACKET Unix socket, or -1 with the reason.
int NewSocket(QString *why)
{
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 && why != nullptr)
        *why = ErrnoText();
    return fd;
}

} // namespace

QByteArray AgentSocketName(uid_t uid)
{
    return QByteArrayLiteral("corvane-agent/") + QByteArray::number(static_cast<qulonglong>(uid));
}

Verdict JudgeAgent(uid_t agentUid, uid_t jobUid)
{
    if (agentUid == static_cast<uid_t>(-1))
        return {false, QStringLiteral("the credentials of the listener cannot be read")};
    if (agentUid != jobUid)
        return {
            false,
            QStringLiteral(
                "the listener on the name of the agent runs as uid %1, not as the user of the job (uid %2)")
                .arg(agentUid)
                .arg(jobUid)};
    return {true, {}};
}

Verdict JudgeFilter(uid_t peerUid, uid_t filterUserUid)
{
    if (peerUid == static_cast<uid_t>(-1))
        return {false, QStringLiteral("the credentials of the peer cannot be read")};
    if (peerUid == 0 || (filterUserUid != static_cast<uid_t>(-1) && peerUid == filterUserUid))
        return {true, {}};
    return {false, QStringLiteral("uid %1 is neither root nor the print filter user").arg(peerUid)};
}

uid_t FilterUserUid()
{
    const char *name = ::getenv("CORVANE_FILTER_USER");
    if (name == nullptr || *name == '\0')
        name = "lp";
    const passwd *entry = ::getpwnam(name);
    return entry != nullptr ? entry->pw_uid : static_cast<uid_t>(-1);
}

uid_t PeerUid(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
        return static_cast<uid_t>(-1);
    return credentials.uid;
}

int Listen(uid_t uid, QString *why)
{
    return Listen(AgentSocketName(uid), why);
}

int Listen(const QByteArray &name, QString *why)
{
    sockaddr_un address;
    const socklen_t size = AbstractAddress(name, address);
    const int fd = NewSocket(why);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), size) != 0 || ::listen(fd, 16) != 0) {
        if (why != nullptr)
            *why = errno == EADDRINUSE ? QStringLiteral("in use") : ErrnoText();
        ::close(fd);
        return -1;
    }
    return fd;
}

int Connect(uid_t uid, QString *why)
{
    return Connect(AgentSocketName(uid), why);
}

int Connect(const QByteArray &name, QString *why)
{
    // A Unix socket's connect waits while the listener's backlog is full, and whoever holds the name
    // decides that. So the connect does not wait: a full backlog is tried again for a while, then given up.
    sockaddr_un address;
    const socklen_t size = AbstractAddress(name, address);
    const int fd = NewSocket(why);
    if (fd < 0)
        return -1;
    constexpr int kTries = 100; // 5 s in steps of 50 ms
    int rc = -1;
    for (int tried = 0; tried < kTries; ++tried) {
        rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), size);
        if (rc == 0 || (errno != EAGAIN && errno != EINTR))
            break;
        ::usleep(50 * 1000);
    }
    if (rc != 0) {
        if (why != nullptr) {
            if (errno == ECONNREFUSED)
                *why = QStringLiteral("no agent is listening");
            else if (errno == EAGAIN)
                *why = QStringLiteral("the listener takes no connection");
            else
                *why = ErrnoText();
        }
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace rendezvous
