// CCorvaneApp: the start of the preview, its event loop, the toolkit's messages and the exit.
#include "app/CorvaneApp.h"

#include "app/CommandLine.h"
#include "app/MessageBox.h"
#include "app/PageFiles.h"
#include "app/SignalRelay.h"
#include "frame/AboutDlg.h"
#include "frame/MainFrame.h"
#include "frame/ToolkitTranslation.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <vector>

CCorvaneApp theApp;

namespace {

enum : int { ERR_NOTIFY_ENDED = 239 };

QtMessageHandler g_previousHandler = nullptr;

// The toolkit's messages while the application is being constructed, held back until it is known
// whether it starts.
struct HeldMessage {
    QtMsgType type;
    QString category;
    QString text;
};
std::vector<HeldMessage> g_heldMessages;

void PassOn(const HeldMessage &held)
{
    const QByteArray category = held.category.toUtf8();
    const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
    if (g_previousHandler != nullptr)
        g_previousHandler(held.type, context, held.text);
    else
        std::fprintf(stderr, "%s\n", held.text.toLocal8Bit().constData());
}

// While the application is being constructed: a fatal message is the toolkit giving up (no display,
// no usable platform). Its text and the warnings before it (which tell to reinstall the program)
// are replaced by the preview's own line, and the preview ends through its exit processing instead
// of the toolkit's abort. When the toolkit starts, the held messages are passed on as they came.
void OnToolkitMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg)
        theApp.EndWithoutDisplay();
    if (g_heldMessages.size() < 64)
        g_heldMessages.push_back({type, QString::fromUtf8(context.category), message});
}

// Which display the toolkit could not reach, in words, from what the environment names.
QString DisplayProblem()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const QString x = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (platform.startsWith(u"wayland"))
        return wayland.isEmpty() ? QStringLiteral("WAYLAND_DISPLAY is not set")
                                 : QStringLiteral("the Wayland display %1 cannot be reached").arg(wayland);
    if (platform.isEmpty() || platform.startsWith(u"xcb"))
        return x.isEmpty() ? QStringLiteral("DISPLAY is not set")
                           : QStringLiteral("the X display %1 cannot be reached").arg(x);
    return QStringLiteral("the window system of platform %1 cannot be reached").arg(platform);
}

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
    // First of all, before anything in the process can open a descriptor: the arguments as the bytes
    // they are, and what the driver's handle names, taken and held from here on.
    m_arguments = DecodeArguments(argc, argv);
    const CommandLineArgs args = ScanCommandLine(m_arguments);
    if (!args.strHandle.isEmpty())
        m_driverLink.Claim(ParseHandle(args.strHandle));
    // As early as possible: a signal from here on ends the preview through the exit processing.
    InstallSignalRelayOnce();

    // A toolkit that cannot reach its display ends the process from inside the application's
    // construction; the handler turns that into a failed start (see EndWithoutDisplay).
    g_previousHandler = qInstallMessageHandler(OnToolkitMessage);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const HeldMessage &held : g_heldMessages)
        PassOn(held);
    g_heldMessages.clear();
    // The toolkit's own texts in Japanese from the start, so that a refused start's box is too.
    InstallToolkitTranslation();

    if (InitInstance(m_arguments)) {
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

    if (!StartJob(arguments))
        return false;

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

bool CCorvaneApp::StartJob(const QStringList &arguments)
{
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
    return true;
}

void CCorvaneApp::EndWithoutDisplay()
{
    std::fprintf(stderr, "corvane-preview: no display: %s; the job ends as a start that failed\n",
                 DisplayProblem().toLocal8Bit().constData());
    ShowMessageBoxesOnStandardError();
    // The start as far as it goes without a window; the window is what cannot be made.
    StartJob(m_arguments);
    ExitInstance();
    std::fflush(stdout);
    std::fflush(stderr);
    // The toolkit is half made: nothing of it may run again, its static clean-up included.
    std::_Exit(0);
}

int CCorvaneApp::ExitInstance()
{
    // No window is left to close: from here a close request from the driver no longer ends the wait
    // for the answer to the end notification.
    m_driverLink.SetCloseEndsWait(false);
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
