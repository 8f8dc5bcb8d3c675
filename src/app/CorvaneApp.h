#pragma once

#include "app/DriverLink.h"
#include "app/JobSettings.h"

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

    // The start; true when the window is up and the event loop is to run.
    bool InitInstance(const QStringList &arguments);
    // The exit processing; its result is the process exit code.
    int ExitInstance();

    // The about command (ID_APP_ABOUT), the last stop of the window's command routing.
    void OnAppAbout();

    CMainFrame *m_pMainWnd = nullptr;
    // The link to the driver named by m_hDriverWnd.
    CDriverLink m_driverLink;
};

extern CCorvaneApp theApp;
