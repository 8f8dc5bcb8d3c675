#pragma once
// The application object: the job settings, the start, the event loop and the exit.

#include "app/DriverLink.h"
#include "app/JobSettings.h"

#include <QPointer>
#include <QStringList>

class CMainFrame;

// The application object: one per process, from static construction to exit. It holds the job
// settings, runs the start, the event loop and the exit processing around a QApplication.
class CCorvaneApp : public CJobSettings {
public:
    CCorvaneApp() = default;
    ~CCorvaneApp() override = default;

    // The whole run: start, event loop when the start succeeded, exit processing. Returns the exit code.
    int Run(int argc, char **argv);

    // The start (arguments without the program name); true when the window is up and the event loop
    // is to run. Needs a QApplication. After false the caller destroys the main window, if one was
    // made, and runs ExitInstance all the same.
    bool InitInstance(const QStringList &arguments);
    // The toolkit-free part of the start: the command line, the job file and the driver's handle, with
    // their messages. False when the start fails there.
    bool StartJob(const QStringList &arguments);
    // The end of a run whose toolkit could not start (no display): a line on stderr, the start as far
    // as it goes without a window (its messages on stderr), the exit processing, exit code 0. Never
    // returns.
    [[noreturn]] void EndWithoutDisplay();
    // The exit processing: the job's files deleted, the driver told. Its result is the exit code, 0.
    int ExitInstance();
    // Destroys the main window if it still exists.
    void DestroyMainWindow();

    // The about command (ID_APP_ABOUT), the last stop of the window's command routing.
    void OnAppAbout();

    // Null once the window has been destroyed.
    QPointer<CMainFrame> m_pMainWnd;
    // The link to the driver named by m_hDriverWnd.
    CDriverLink m_driverLink;

private:
    // The command line as Run found it.
    QStringList m_arguments;
    // A signal was taken by the relay's handler since InitInstance began.
    bool m_bSignalSeen = false;
};

extern CCorvaneApp theApp;
