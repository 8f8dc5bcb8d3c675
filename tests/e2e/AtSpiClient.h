#pragma once
// The end-to-end tests' reader of the accessibility bus.

#include <QDBusConnection>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>
#include <sys/types.h>

// One accessible object of the preview as the accessibility bus shows it.
struct AccessibleNode {
    QString bus;
    QString path;
    QString name;
    quint32 role = 0;
    QString window; // path of the top-level window that holds it
};

// Roles and states of the accessibility bus that the tests look at.
enum : quint32 { ATSPI_ROLE_FRAME = 23, ATSPI_ROLE_LABEL = 29, ATSPI_ROLE_PUSH_BUTTON = 43 };
enum : int { ATSPI_STATE_ENABLED = 8, ATSPI_STATE_SENSITIVE = 24, ATSPI_STATE_SHOWING = 25 };

// Reads a running program's windows through the accessibility bus (what a screen reader sees): the
// texts of the status panes and message boxes, the buttons and where they are on the screen, so that
// the tests can press them with real input.
class CAtSpiClient {
public:
    // Connects to the accessibility bus of the session whose bus address is given.
    explicit CAtSpiClient(const QString &sessionBusAddress);
    bool IsConnected() const { return m_bConnected; }

    // Every object of the application of process pid, depth first; empty while it is not registered.
    QList<AccessibleNode> Tree(pid_t pid);
    // The first node for which match holds, waiting up to nMs for it to appear.
    bool WaitFor(pid_t pid, const std::function<bool(const AccessibleNode &)> &match, AccessibleNode &found,
                 int nMs = 10000);
    QRect Extents(const AccessibleNode &node);
    bool HasState(const AccessibleNode &node, int state);
    // Runs the node's press action (what a screen reader's "activate" does); false when it has none.
    bool Press(const AccessibleNode &node);

private:
    QList<AccessibleNode> Children(const QString &bus, const QString &path);
    QString AppBus(pid_t pid);

    QDBusConnection m_bus;
    bool m_bConnected = false;
};
