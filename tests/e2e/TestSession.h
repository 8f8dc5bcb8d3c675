#pragma once
// What every desktop of the end-to-end tests has: runtime folder, session and accessibility buses.

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// What every desktop the end-to-end tests run the preview on has: a private runtime folder, a session
// bus with the accessibility bus it activates (through which the tests read the window), and the
// background programs of the desktop, ended with it. The display server is the subclass's business.
class CTestSession {
public:
    // Why the tests cannot run here (a program of the desktop is not installed): they skip. Empty
    // when everything is there.
    const QString &Missing() const { return m_missing; }
    // Why the session could not be set up although its programs are there (no session bus, no
    // accessibility bus): the tests fail with it. Empty when the session is up.
    const QString &Broken() const { return m_broken; }
    // XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and the display of the session, over the test's own.
    const QProcessEnvironment &Environment() const { return m_env; }

    CTestSession(const CTestSession &) = delete;
    CTestSession &operator=(const CTestSession &) = delete;

protected:
    // The test's environment without any display of its own, with the private runtime folder.
    CTestSession();
    // Ends the background programs, the last started first.
    virtual ~CTestSession();

    // Starts a program that stays in the background until the session ends; its pid, or -1. With
    // firstLine, waits for the first line it prints and returns it there (-1 when none comes).
    pid_t StartBackground(const QString &program, const QStringList &arguments, QString *firstLine = nullptr,
                          int nTimeoutMs = 10000);
    // Starts the session bus and turns accessibility on; false with Broken() saying why.
    bool StartAccessibility();
    QString RuntimeDir() const { return m_runtimeDir.path(); }

    QString m_missing;
    QString m_broken;
    QProcessEnvironment m_env;

private:
    QTemporaryDir m_runtimeDir;
    QList<pid_t> m_pids;
};

// Runs a program in the given environment to its end; its exit code, -1 when it could not run.
int RunWithEnvironment(const QProcessEnvironment &env, const QString &program, const QStringList &arguments,
                       QString *output = nullptr);
