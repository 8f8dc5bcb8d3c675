// CDisplayWatch: connecting to the X or Wayland display and noticing its end.
#include "DisplayWatch.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

struct CDisplayWatch::XConnection {
    xcb_connection_t *connection = nullptr;
    ~XConnection()
    {
        if (connection != nullptr)
            xcb_disconnect(connection);
    }
};

CDisplayWatch::CDisplayWatch(QObject *parent) : QObject(parent) {}

CDisplayWatch::~CDisplayWatch()
{
    delete m_notifier;
    if (m_waylandFd >= 0)
        ::close(m_waylandFd);
}

bool CDisplayWatch::Connect(QString *why)
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(u';', 0, 0).section(u':', 0, 0);
    if (platform.isEmpty()) {
        // The session's own kind first: a Wayland session's X server may only run for X clients.
        QString xWhy, waylandWhy;
        const bool bWaylandSession = qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland";
        if (bWaylandSession ? ConnectWayland(&waylandWhy) || ConnectX(&xWhy)
                            : ConnectX(&xWhy) || ConnectWayland(&waylandWhy))
            return true;
        *why = xWhy + QStringLiteral("; ") + waylandWhy;
        return false;
    }
    if (platform == u"xcb")
        return ConnectX(why);
    if (platform.startsWith(u"wayland"))
        return ConnectWayland(why);
    m_strName = QStringLiteral("none needed (platform %1)").arg(platform);
    return true;
}

bool CDisplayWatch::ConnectX(QString *why)
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        *why = QStringLiteral("DISPLAY is not set");
        return false;
    }
    auto x = std::make_unique<XConnection>();
    x->connection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(x->connection) != 0) {
        *why = QStringLiteral("the X display %1 cannot be reached").arg(QString::fromLocal8Bit(display));
        return false;
    }
    const int fd = xcb_get_file_descriptor(x->connection);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_x = std::move(x);
    m_strName = QStringLiteral("X display %1").arg(QString::fromLocal8Bit(display));
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CDisplayWatch::OnReadable);
    return true;
}

bool CDisplayWatch::ConnectWayland(QString *why)
{
    QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty()) {
        *why = QStringLiteral("WAYLAND_DISPLAY is not set");
        return false;
    }
    const QByteArray path = name.startsWith('/') ? name : qgetenv("XDG_RUNTIME_DIR") + '/' + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(path.size()) >= sizeof address.sun_path) {
        *why = QStringLiteral("the Wayland socket's path %1 is too long").arg(QFile::decodeName(path));
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        *why = QStringLiteral("the Wayland display %1 cannot be reached: %2")
                   .arg(QFile::decodeName(name), QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_waylandFd = fd;
    m_strName = QStringLiteral("Wayland display %1").arg(QFile::decodeName(name));
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CDisplayWatch::OnReadable);
    return true;
}

// The agent asks the server for nothing, so what comes is an event to drop or the connection's end.
void CDisplayWatch::OnReadable()
{
    bool bGone = false;
    if (m_x) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_x->connection))
            std::free(event);
        bGone = xcb_connection_has_error(m_x->connection) != 0;
    } else {
        char buffer[256];
        const ssize_t n = ::recv(m_waylandFd, buffer, sizeof buffer, MSG_DONTWAIT);
        bGone = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }
    if (!bGone)
        return;
    m_notifier->setEnabled(false);
    Q_EMIT Gone();
}
