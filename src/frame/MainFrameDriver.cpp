// The driver-facing side of the preview window: the driver's messages, print and cancel, the close
// question and the busy cursor.
//
// Two waits sit inside these handlers: a message box (a nested event loop, in which the driver's
// messages, signals and the window system's close requests are handled) and a result sent to the driver
// (the link waits on the socket). A close request from the driver, or a signal, that comes during either
// only ends the box (AbortMessageBoxes) or the wait (the link aborts it) and sets m_bCloseRequested; the
// handler that owns the box or the wait closes the window once it is back. Meanwhile print, cancel and
// the close box do nothing, so at most one result is ever on its way. Each handler re-checks with a
// QPointer that the window still exists before it touches it again.
#include "frame/MainFrame.h"

#include "app/CorvaneApp.h"
#include "app/MessageBox.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPointer>

namespace {

constexpr unsigned SC_CLOSE = 0xF060;

// The error numbers that go with IDS_ERR_DRIVER_NOTIFY when the driver refuses a result.
enum : int { ERR_PRINT_REFUSED = 442, ERR_CANCEL_REFUSED = 472 };

// Whether a close request comes from the window system (the close box, Alt+F4) rather than from code
// in this process. On X11 such closes arrive as spontaneous events. Qt's Wayland platform before
// 6.7.1 hands the compositor's close request on as a close called by the program itself, which looks
// like any programmatic close; since the preview closes itself only through CloseFrame, every other
// close on Wayland is the user's.
bool FromWindowSystem(const QCloseEvent &event)
{
    return event.spontaneous() || QGuiApplication::platformName().startsWith(u"wayland");
}

} // namespace

qint64 CMainFrame::OnDriverMessage(quint32 message, quint64 wParam, qint64 lParam)
{
    switch (message) {
    case WM_PREVIEW_PAGES:
        return OnPreviewPages(wParam, lParam);
    case WM_PREVIEW_CLOSE:
        return OnPreviewClose(wParam, lParam);
    default:
        return 0;
    }
}

qint64 CMainFrame::OnPreviewPages(quint64 wParam, qint64 lParam)
{
    if (m_bSpoolDone)
        return 0;
    // The count is the low 32 bits of wParam as a signed int: 2^64-1 reads as -1.
    theApp.m_nPageCount = static_cast<int>(static_cast<quint32>(wParam & 0xFFFFFFFFu));
    m_bSpoolDone = lParam != 0 ? 1 : 0;
    RefreshPagePane();
    if (m_bSpoolDone)
        UpdateBusyCursor();
    return 0;
}

qint64 CMainFrame::OnPreviewClose(quint64, qint64)
{
    if (m_bClosing)
        return 0;
    if (m_nOpenBoxes > 0 || m_bResultPending) {
        m_bCloseRequested = true;
        AbortMessageBoxes();
        return 0;
    }
    CloseFrame();
    return 0;
}

void CMainFrame::OnFilePrint()
{
    if (MayDecide())
        SendDecision(PREVIEW_RESULT_PRINT, ERR_PRINT_REFUSED);
}

void CMainFrame::OnAppExit()
{
    OnSysCommand(SC_CLOSE, 0);
}

void CMainFrame::OnSysCommand(unsigned nID, qint64)
{
    // The whole code counts: SC_CLOSE with any of its low four bits set is another command, and the
    // preview has no default handling for other system commands.
    if (nID != SC_CLOSE || !MayDecide())
        return;
    QPointer<CMainFrame> self(this);
    const int answer = ShowBox(LoadResString(IDS_CONFIRM_CANCEL), MB_YESNO | MB_ICONQUESTION);
    if (!self)
        return;
    if (m_bCloseRequested) {
        CloseFrame();
        return;
    }
    if (answer == IDYES)
        SendDecision(PREVIEW_RESULT_CANCEL, ERR_CANCEL_REFUSED);
}

void CMainFrame::UpdateBusyCursor()
{
    // The view is set as well as the frame: a child with a cursor of its own would not inherit the
    // frame's. unsetCursor() gives the arrow, and Qt applies it at once to the widget under the mouse.
    CChildView *view = GetActiveView();
    if (!m_bSpoolDone) {
        setCursor(Qt::BusyCursor);
        if (view)
            view->setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
        if (view)
            view->unsetCursor();
    }
}

void CMainFrame::AnnounceToDriver()
{
    raise();
    activateWindow();
    theApp.m_driverLink.Post(WM_PREVIEW_OPENED, static_cast<quint64>(winId()), 0);
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    if (m_bClosing || !FromWindowSystem(*event)) {
        m_bClosing = true;
        event->accept();
        return;
    }
    // The close box or Alt+F4 through the window manager: ask as the cancel button does. The question
    // runs from the event loop, not inside this close event, so that an accepted answer can close.
    event->ignore();
    QMetaObject::invokeMethod(
        this, [this] { OnSysCommand(SC_CLOSE, 0); }, Qt::QueuedConnection);
}

bool CMainFrame::MayDecide() const
{
    return !m_bResultPending && m_nOpenBoxes == 0 && !m_bClosing && !m_bCloseRequested;
}

qint64 CMainFrame::SendResult(quint64 nResult)
{
    QPointer<CMainFrame> self(this);
    m_bResultPending = true;
    const qint64 reply = theApp.m_driverLink.Send(WM_PREVIEW_RESULT, nResult, 0);
    if (!self)
        return 0;
    m_bResultPending = false;
    // An aborted wait (the driver's close request or a signal came meanwhile) has no verdict; the
    // window closes either way.
    if (theApp.m_driverLink.LastSendAborted())
        m_bCloseRequested = true;
    return reply;
}

void CMainFrame::SendDecision(quint64 nResult, int nRefusedError)
{
    QPointer<CMainFrame> self(this);
    const qint64 reply = SendResult(nResult);
    if (!self)
        return;
    if (m_bCloseRequested || reply >= 0) {
        CloseFrame();
        return;
    }
    ShowBox(FormatResString(IDS_ERR_DRIVER_NOTIFY, {nRefusedError}), MB_OK);
    if (self && m_bCloseRequested)
        CloseFrame();
}

int CMainFrame::ShowBox(const QString &text, unsigned flags)
{
    QPointer<CMainFrame> self(this);
    ++m_nOpenBoxes;
    const int answer = AfxMessageBox(text, flags, this);
    if (self)
        --m_nOpenBoxes;
    return answer;
}

void CMainFrame::CloseFrame()
{
    m_bClosing = true;
    close();
}

void CMainFrame::RefreshPagePane()
{
    SetPaneText(ID_INDICATOR_PAGE, FormatResString(IDS_PANE_PAGE_FORMAT, {LoadResString(ID_INDICATOR_PAGE),
                                                                          m_nCurPage, theApp.m_nPageCount}));
}
