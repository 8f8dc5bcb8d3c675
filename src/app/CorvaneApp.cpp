#include "app/CorvaneApp.h"

#include "app/CommandLine.h"
#include "app/MessageBox.h"
#include "app/PageFiles.h"
#include "app/SignalRelay.h"
#include "frame/AboutDlg.h"
#include "frame/MainFrame.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QApplication>

CCorvaneApp theApp;

namespace {

enum : int { ERR_NOTIFY_ENDED = 239 };

void InstallSignalRelayOnce()
{
    static bool bInstalled = false;
    if (!bInstalled) {
        CSignalRelay::Install();
        bInstalled = true;
    }
}

} // namespace

int CCorvaneApp::Run(int argc, char **argv)
{
    // As early as possible: a signal from here on ends the preview through the exit processing.
    InstallSignalRelayOnce();
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    if (InitInstance(arguments)) {
        // The loop runs until the main window has closed or been destroyed.
        QObject::connect(m_pMainWnd.data(), &QObject::destroyed, &application, &QCoreApplication::quit);
        application.exec();
    }
    DestroyMainWindow();
    return ExitInstance();
}

bool CCorvaneApp::InitInstance(const QStringList &arguments)
{
    InstallSignalRelayOnce();
    m_bSignalSeen = false;
    // Before the window exists a signal ends whatever box is up, and the start fails below; once the
    // window exists it closes the window as the driver's close request does.
    CSignalRelay::SetHandler([this] {
        m_bSignalSeen = true;
        if (m_pMainWnd)
            m_pMainWnd->OnPreviewClose(0, 0);
        else
            AbortMessageBoxes();
    });

    const CommandLineArgs args = ScanCommandLine(arguments);
    if (args.strIniPath.isEmpty() || args.strHandle.isEmpty()) {
        AfxMessageBox(LoadResString(IDS_ERR_NOT_FROM_DRIVER), MB_OK | MB_SYSTEMMODAL);
        return false;
    }

    const int nError = ReadJobFile(args.strIniPath);
    if (nError != 0) {
        AfxMessageBox(FormatResString(IDS_ERR_JOB_FILE, {nError}), MB_OK | MB_SYSTEMMODAL);
        return false;
    }

    m_strIniPath = args.strIniPath;
    m_hDriverWnd = ParseHandle(args.strHandle);
    m_driverLink.Attach(m_hDriverWnd);

    auto *frame = new CMainFrame;
    m_pMainWnd = frame;
    if (!frame->LoadFrame())
        return false;

    // The frame takes the driver's messages from here on, those that came early first.
    const QPointer<CMainFrame> guard(frame);
    m_driverLink.SetReceiver([guard](quint32 message, quint64 wParam, qint64 lParam) -> qint64 {
        return guard ? guard->OnDriverMessage(message, wParam, lParam) : 0;
    });

    // A signal that came while the window was being made ends the start like a failed one.
    if (CSignalRelay::Pending() || m_bSignalSeen) {
        CSignalRelay::Take();
        return false;
    }

    frame->show();
    // The frame asked for the foreground while it was still hidden. X11 keeps that request until the
    // window is mapped; Wayland has no window to activate before it is shown and drops it. Asked
    // again now, the activation carries the token a driver may have handed over in
    // XDG_ACTIVATION_TOKEN, which is what lets a Wayland compositor bring a window to the front.
    frame->activateWindow();
    return true;
}

int CCorvaneApp::ExitInstance()
{
    DeleteJobFiles(*this);
    if (m_driverLink.Send(WM_PREVIEW_ENDED, 0, 0) < 0)
        AfxMessageBox(FormatResString(IDS_ERR_DRIVER_NOTIFY, {ERR_NOTIFY_ENDED}), MB_OK | MB_SYSTEMMODAL);
    return 0;
}

void CCorvaneApp::DestroyMainWindow()
{
    delete m_pMainWnd.data();
    m_pMainWnd = nullptr;
}

void CCorvaneApp::OnAppAbout()
{
    CAboutDlg dialog(m_pMainWnd.data());
    dialog.exec();
}
