// The Wayland desktop of the end-to-end tests: headless weston and the session's buses.
#include "WaylandSession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QThread>

namespace {

const QString kSocket = QStringLiteral("wayland-corvane");

// Qt's Wayland platform plugin, where this Qt looks for its platform plugins.
bool HasQtWayland()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("*qwayland*")}, QDir::Files).isEmpty();
}

} // namespace

CWaylandSession &CWaylandSession::Instance()
{
    static CWaylandSession session;
    return session;
}

CWaylandSession::CWaylandSession()
{
    Start();
}

void CWaylandSession::Start()
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()) {
        m_missing = QStringLiteral("weston is not installed (scripts/setup.sh installs it)");
        return;
    }
    if (!HasQtWayland()) {
        m_missing = QStringLiteral("Qt's Wayland platform is not installed (package qt6-wayland; "
                                   "scripts/setup.sh installs it)");
        return;
    }

    // Headless: no screen, no input devices, no rendering; clients see an ordinary desktop shell
    // with one output. The socket is private to the session's runtime folder.
    if (StartBackground(QStringLiteral("weston"),
                        {QStringLiteral("--backend=headless-backend.so"),
                         QStringLiteral("--socket=") + kSocket, QStringLiteral("--idle-time=0"),
                         QStringLiteral("--no-config"), QStringLiteral("--width=1280"),
                         QStringLiteral("--height=1024")}) < 0) {
        m_broken = QStringLiteral("weston did not start");
        return;
    }
    const QString socket = RuntimeDir() + u'/' + kSocket;
    QDeadlineTimer deadline(10000);
    while (!QFileInfo(socket).exists() && !deadline.hasExpired())
        QThread::msleep(20);
    if (!QFileInfo(socket).exists()) {
        m_broken = QStringLiteral("weston did not open its socket ") + socket;
        return;
    }
    m_env.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));

    StartAccessibility();
}
