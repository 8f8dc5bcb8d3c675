// CAtSpiClient: reading the preview's accessible tree from the accessibility bus.
#include "AtSpiClient.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QThread>

namespace {

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");

QDBusMessage Call(QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, 3000);
}

} // namespace

CAtSpiClient::CAtSpiClient(const QString &sessionBusAddress)
    : m_bus(QDBusConnection::connectToBus(sessionBusAddress, QStringLiteral("e2e-session")))
{
    const QDBusMessage reply = Call(m_bus, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                    QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return;
    m_bus = QDBusConnection::connectToBus(reply.arguments().at(0).toString(), QStringLiteral("e2e-a11y"));
    m_bConnected = m_bus.isConnected();
}

QList<AccessibleNode> CAtSpiClient::Children(const QString &bus, const QString &path)
{
    QList<AccessibleNode> children;
    const QDBusMessage reply = Call(m_bus, bus, path, kAccessible, QStringLiteral("GetChildren"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return children;
    const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        AccessibleNode node;
        QDBusObjectPath objectPath;
        array.beginStructure();
        array >> node.bus >> objectPath;
        array.endStructure();
        node.path = objectPath.path();
        children.append(node);
    }
    array.endArray();
    return children;
}

QString CAtSpiClient::AppBus(pid_t pid)
{
    const QList<AccessibleNode> apps = Children(QStringLiteral("org.a11y.atspi.Registry"), kRootPath);
    for (const AccessibleNode &app : apps) {
        const QDBusMessage reply = Call(
            m_bus, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"), {app.bus});
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            reply.arguments().at(0).toUInt() == static_cast<uint>(pid))
            return app.bus;
    }
    return {};
}

QList<AccessibleNode> CAtSpiClient::Tree(pid_t pid)
{
    QList<AccessibleNode> nodes;
    const QString bus = AppBus(pid);
    if (bus.isEmpty())
        return nodes;
    QList<AccessibleNode> pending = Children(bus, kRootPath);
    for (AccessibleNode &window : pending)
        window.window = window.path;
    while (!pending.isEmpty() && nodes.size() < 2000) {
        AccessibleNode node = pending.takeFirst();
        const QDBusMessage name =
            Call(m_bus, node.bus, node.path, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("Get"), {kAccessible, QStringLiteral("Name")});
        if (name.type() == QDBusMessage::ReplyMessage && !name.arguments().isEmpty())
            node.name = name.arguments().at(0).value<QDBusVariant>().variant().toString();
        const QDBusMessage role = Call(m_bus, node.bus, node.path, kAccessible, QStringLiteral("GetRole"));
        if (role.type() == QDBusMessage::ReplyMessage && !role.arguments().isEmpty())
            node.role = role.arguments().at(0).toUInt();
        nodes.append(node);
        QList<AccessibleNode> children = Children(node.bus, node.path);
        for (AccessibleNode &child : children)
            child.window = node.window;
        pending = children + pending;
    }
    return nodes;
}

bool CAtSpiClient::WaitFor(pid_t pid, const std::function<bool(const AccessibleNode &)> &match,
                           AccessibleNode &found, int nMs)
{
    QDeadlineTimer deadline(nMs);
    do {
        const QList<AccessibleNode> nodes = Tree(pid);
        for (const AccessibleNode &node : nodes) {
            if (match(node)) {
                found = node;
                return true;
            }
        }
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return false;
}

QRect CAtSpiClient::Extents(const AccessibleNode &node)
{
    // Coordinates of the screen (type 0).
    const QDBusMessage reply = Call(m_bus, node.bus, node.path, QStringLiteral("org.a11y.atspi.Component"),
                                    QStringLiteral("GetExtents"), {QVariant::fromValue(uint(0))});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QDBusArgument value = reply.arguments().at(0).value<QDBusArgument>();
    int x = 0, y = 0, width = 0, height = 0;
    value.beginStructure();
    value >> x >> y >> width >> height;
    value.endStructure();
    return QRect(x, y, width, height);
}

bool CAtSpiClient::HasState(const AccessibleNode &node, int state)
{
    const QDBusMessage reply = Call(m_bus, node.bus, node.path, kAccessible, QStringLiteral("GetState"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QDBusArgument value = reply.arguments().at(0).value<QDBusArgument>();
    QList<uint> words;
    value.beginArray();
    while (!value.atEnd()) {
        uint word = 0;
        value >> word;
        words.append(word);
    }
    value.endArray();
    const int index = state / 32;
    return index < words.size() && (words[index] >> (state % 32)) & 1u;
}

bool CAtSpiClient::Press(const AccessibleNode &node)
{
    const QString action = QStringLiteral("org.a11y.atspi.Action");
    const QDBusMessage count =
        Call(m_bus, node.bus, node.path, QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {action, QStringLiteral("NActions")});
    if (count.type() != QDBusMessage::ReplyMessage || count.arguments().isEmpty())
        return false;
    const int nActions = count.arguments().at(0).value<QDBusVariant>().variant().toInt();
    for (int i = 0; i < nActions; ++i) {
        const QDBusMessage name = Call(m_bus, node.bus, node.path, action, QStringLiteral("GetName"), {i});
        if (name.type() != QDBusMessage::ReplyMessage || name.arguments().isEmpty() ||
            name.arguments().at(0).toString().compare(u"press", Qt::CaseInsensitive) != 0)
            continue;
        const QDBusMessage done = Call(m_bus, node.bus, node.path, action, QStringLiteral("DoAction"), {i});
        return done.type() == QDBusMessage::ReplyMessage && !done.arguments().isEmpty() &&
               done.arguments().at(0).toBool();
    }
    return false;
}
