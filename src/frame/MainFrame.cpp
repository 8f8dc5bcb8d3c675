// The preview window: construction of the object, the event table, command routing, focus and size.
#include "frame/MainFrame.h"

#include "app/CorvaneApp.h"
#include "frame/FrameAccessibility.h"
#include "frame/FramePlacement.h"
#include "frame/TapeUseTip.h"
#include "frame/ToolkitTranslation.h"
#include "frame/WistrelToolTipCtrl.h"
#include "res/Resource.h"
#include "view/ChildView.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QScreen>

CMainFrame::CMainFrame(QWidget *parent) : QMainWindow(parent) {}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::LoadFrame()
{
    // The toolkit's own texts (box buttons, context menus) in Japanese like the rest; without Qt's
    // catalogue they stay English.
    InstallToolkitTranslation();
    if (!PreCreateWindow())
        return false;
    if (OnCreate() == -1)
        return false;
    // A new window takes a large share of the screen, at least enough for the toolbar and the panes.
    if (const QScreen *display = screen())
        setGeometry(DefaultFrameRect(display->availableGeometry(), sizeHint()));
    if (CChildView *view = GetActiveView())
        view->OnInitialUpdate();
    OnIdleUpdate();
    return true;
}

CChildView *CMainFrame::GetActiveView() const
{
    return qobject_cast<CChildView *>(centralWidget());
}

void CMainFrame::ConnectEventTable()
{
    // Creation and the focus (WM_CREATE, WM_SETFOCUS) arrive through LoadFrame and focusInEvent; the
    // driver's page reports and close request through OnDriverMessage, to which the application's
    // driver link hands every message.
    OnCommand(ID_FILE_PRINT, &CMainFrame::OnFilePrint);
    OnCommand(ID_APP_EXIT, &CMainFrame::OnAppExit);
    // The system close command: closeEvent (close box, Alt+F4). The size: resizeEvent.
    connect(m_pZoomBox->lineEdit(), &QLineEdit::returnPressed, this, &CMainFrame::OnZoomEnter);
    connect(m_pZoomBox, &QComboBox::activated, this, &CMainFrame::OnZoomSelect);
    m_focusHandlers.insert(m_pZoomBox, {&CMainFrame::OnZoomSetFocus, &CMainFrame::OnZoomKillFocus});
    OnCommand(ID_PAGE_PREV, &CMainFrame::OnPagePrev);
    OnCommand(ID_PAGE_NEXT, &CMainFrame::OnPageNext);
    connect(m_pPageBox, &QLineEdit::returnPressed, this, &CMainFrame::OnPageEnter);
    m_focusHandlers.insert(m_pPageBox, {&CMainFrame::OnPageSetFocus, &CMainFrame::OnPageKillFocus});
    for (const int nID :
         {int(ID_FILE_PRINT), int(ID_ZOOM_COMBO), int(ID_PAGE_PREV), int(ID_PAGE_EDIT), int(ID_PAGE_NEXT)})
        OnUpdateCommandUI(nID, &CMainFrame::OnUpdateToolbar);
    for (const int nID : {int(ID_INDICATOR_PAGE), int(ID_INDICATOR_COPIES), int(ID_INDICATOR_TAPEWIDTH),
                          int(ID_INDICATOR_TAPELENGTH)})
        OnUpdateCommandUI(nID, &CMainFrame::OnUpdateIndicator);
    // The busy cursor follows m_bSpoolDone (UpdateBusyCursor).

    // The toolbar's buttons send their command ids through the routing.
    for (auto it = m_commandActions.cbegin(); it != m_commandActions.cend(); ++it) {
        const int nID = it.key();
        connect(it.value(), &QAction::triggered, this, [this, nID] { OnCmdMsg(nID); });
    }
    m_pZoomBox->installEventFilter(this);
    m_pPageBox->installEventFilter(this);
    // The idle update runs each time the event loop has nothing more to do.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CMainFrame::OnIdleUpdate);
}

void CMainFrame::OnCommand(int nID, Handler handler)
{
    m_commands.insert(nID, handler);
}

void CMainFrame::OnUpdateCommandUI(int nID, UpdateHandler handler)
{
    m_updates.append({nID, handler});
}

bool CMainFrame::OnCmdMsg(int nID)
{
    // The page view comes first; it has no commands of its own. Then this frame's table, then the
    // application, whose only command is the about box.
    const auto entry = m_commands.constFind(nID);
    if (entry != m_commands.cend()) {
        (this->*entry.value())();
        return true;
    }
    if (nID == ID_APP_ABOUT) {
        theApp.OnAppAbout();
        return true;
    }
    return false;
}

void CMainFrame::OnIdleUpdate()
{
    for (const UpdateEntry &entry : std::as_const(m_updates)) {
        const bool enabled = (this->*entry.handler)(entry.nID);
        if (QAction *action = GetCommand(entry.nID))
            action->setEnabled(enabled);
        else if (entry.nID == ID_ZOOM_COMBO && m_pZoomBox)
            m_pZoomBox->setEnabled(enabled);
        else if (entry.nID == ID_PAGE_EDIT && m_pPageBox)
            m_pPageBox->setEnabled(enabled);
        else if (QLabel *pane = GetPane(entry.nID))
            pane->setEnabled(enabled);
    }
    if (m_pAccessibility)
        m_pAccessibility->OnIdleUpdate();
    if (m_pTapeUseTip)
        m_pTapeUseTip->Refresh();
}

QAction *CMainFrame::GetCommand(int nID) const
{
    return m_commandActions.value(nID, nullptr);
}

QLabel *CMainFrame::GetPane(int nID) const
{
    const int index = nID - ID_INDICATOR_PAGE;
    return index >= 0 && index < m_panes.size() ? m_panes[index] : nullptr;
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    const auto entry = m_focusHandlers.constFind(watched);
    if (entry != m_focusHandlers.cend() &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        // Opening the zoom list moves Qt's focus to the popup and back; the box keeps the focus all along.
        const auto *focus = static_cast<QFocusEvent *>(event);
        if (focus->reason() == Qt::PopupFocusReason)
            return false;
        if (event->type() == QEvent::FocusIn)
            (this->*entry->onSetFocus)();
        else if (!m_bRefusing)
            (this->*entry->onKillFocus)();
        return false;
    }
    if (watched == m_pPageBox)
        return FilterPageBoxInput(event);
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::focusInEvent(QFocusEvent *)
{
    OnSetFocus();
}

void CMainFrame::OnSetFocus()
{
    if (CChildView *view = GetActiveView())
        view->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    OnSize();
}

void CMainFrame::OnSize()
{
    // The view has its new size already (Qt lays the children out before the frame sees the resize)
    // and still shows the bars it had: the zoom reads that client, and its new total decides the bars.
    // The first notification, which Qt sends as the window is shown, carries the opening size: the
    // page was laid out while the window was being made, with the view still at a size of its own,
    // so that first layout starts, as in a new window, with no bar shown.
    CChildView *view = GetActiveView();
    if (!view)
        return;
    if (!m_bSized)
        view->HideScrollBars();
    m_bSized = true;
    view->SetZoom(m_nZoom);
}
