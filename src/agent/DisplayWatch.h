#pragma once
// The display the previews are shown on, watched so that the agent ends when it goes.

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// The display the previews are shown on, as the agent sees it: reachable at the start, and watched
// from then on, so that an agent whose display has gone ends as at the session's end.
//
// Which display: the preview's toolkit platform (QT_QPA_PLATFORM). A platform without a display
// (offscreen, minimal) needs none; xcb needs the X server of DISPLAY; wayland the compositor's socket
// of WAYLAND_DISPLAY; with no platform set either one will do, the session's kind (XDG_SESSION_TYPE)
// first, else X. The X server is reached as a client (a connection of our own, which it closes when
// it ends); the compositor by its socket.
class CDisplayWatch : public QObject {
    Q_OBJECT
public:
    explicit CDisplayWatch(QObject *parent = nullptr);
    ~CDisplayWatch() override;

    // Connects to the display; false with the reason when none can be reached.
    bool Connect(QString *why);
    // The display in words for the log ("X display :1", "Wayland display wayland-0", "none needed").
    QString Name() const { return m_strName; }

Q_SIGNALS:
    // The connection to the display has ended: the server or compositor is gone.
    void Gone();

private:
    bool ConnectX(QString *why);
    bool ConnectWayland(QString *why);
    void OnReadable();

    struct XConnection;
    std::unique_ptr<XConnection> m_x;
    int m_waylandFd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_strName;
};
