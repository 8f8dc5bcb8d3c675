#pragma once
// An X desktop for the end-to-end tests.

#include "TestSession.h"

// The desktop the end-to-end tests run the preview on: an Xvfb on a free display, the session and
// accessibility buses and, when installed, openbox as the window manager (Alt+F4 and WM_DELETE_WINDOW
// on the close box are its business). One per test run.
class CXSession : public CTestSession {
public:
    static CXSession &Instance();

    bool HasWindowManager() const { return m_wmPid > 0; }
    QString DisplayName() const { return m_display; }

private:
    CXSession();
    void Start();

    QString m_display;
    pid_t m_wmPid = -1;
};

// What the close box in a window's title bar does: a WM_DELETE_WINDOW client message to the window.
bool SendDeleteWindow(quint64 window);

// Runs a program of the session (xdotool) to its end; its exit code, -1 when it could not run.
int RunInSession(const QString &program, const QStringList &arguments, QString *output = nullptr);
