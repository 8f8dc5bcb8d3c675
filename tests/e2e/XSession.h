#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// The desktop the end-to-end tests run the preview on: an Xvfb on a free display, a session bus (for
// the accessibility bus through which the tests read the window) and, when installed, openbox as the
// window manager (Alt+F4 and WM_DELETE_WINDOW on the close box are its business). One per test run.
class CXSession {
public:
    static CXSession &Instance();

    // Why the tests cannot run here (no Xvfb or xdotool): they skip. Empty when both are there.
    const QString &Missing() const { return m_missing; }
    // Why the session could not be set up although Xvfb and xdotool are there (no session bus, no
    // accessibility bus): the tests fail with it. Empty when the session is up.
    const QString &Broken() const { return m_broken; }
    bool HasWindowManager() const { return m_wmPid > 0; }
    // DISPLAY, DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR of the session, over the test's own.
    const QProcessEnvironment &Environment() const { return m_env; }
    QString DisplayName() const { return m_display; }

    ~CXSession();
    CXSession(const CXSession &) = delete;
    CXSession &operator=(const CXSession &) = delete;

private:
    CXSession();
    void Start();

    QString m_missing;
    QString m_broken;
    QString m_display;
    QProcessEnvironment m_env;
    QTemporaryDir m_runtimeDir;
    pid_t m_xvfbPid = -1;
    pid_t m_busPid = -1;
    pid_t m_wmPid = -1;
};

// What the close box in a window's title bar does: a WM_DELETE_WINDOW client message to the window.
bool SendDeleteWindow(quint64 window);

// Runs a program of the session (xdotool) to its end; its exit code, -1 when it could not run.
int RunInSession(const QString &program, const QStringList &arguments, QString *output = nullptr);
