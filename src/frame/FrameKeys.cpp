// CFrameKeys: the window's shortcuts, the Escape key and the shortcut texts in the tooltips.
#include "frame/FrameKeys.h"

#include "app/CorvaneApp.h"
#include "frame/MainFrame.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QList>
#include <QToolBar>

namespace {

QList<QKeySequence> Shortcuts(int nID)
{
    switch (nID) {
    case ID_FILE_PRINT:
        return {QKeySequence(Qt::CTRL | Qt::Key_P)};
    case ID_ZOOM_COMBO:
        return {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Minus)};
    case ID_PAGE_PREV:
        return {QKeySequence(Qt::CTRL | Qt::Key_PageUp)};
    case ID_PAGE_EDIT:
        return {QKeySequence(Qt::CTRL | Qt::Key_L)};
    case ID_PAGE_NEXT:
        return {QKeySequence(Qt::CTRL | Qt::Key_PageDown)};
    case ID_APP_EXIT:
        return {QKeySequence(Qt::Key_Escape)};
    default:
        return {};
    }
}

} // namespace

CFrameKeys::CFrameKeys(CMainFrame *frame) : QObject(frame), m_pFrame(frame)
{
    setObjectName(QStringLiteral("CFrameKeys"));
    for (QWidget *widget :
         {static_cast<QWidget *>(frame->GetActiveView()), static_cast<QWidget *>(frame->GetZoomBox()),
          static_cast<QWidget *>(frame->GetPageBox()), static_cast<QWidget *>(frame)}) {
        if (widget)
            widget->installEventFilter(this);
    }
    ApplyToolTips();
}

QString CFrameKeys::ShortcutText(int nID)
{
    return QKeySequence::listToString(Shortcuts(nID), QKeySequence::NativeText);
}

QString CFrameKeys::LabelWithShortcut(const QString &label, int nID)
{
    const QString keys = ShortcutText(nID);
    return keys.isEmpty() ? label : label + QStringLiteral(" (") + keys + u')';
}

void CFrameKeys::ApplyToolTips()
{
    for (const int nID : {int(ID_FILE_PRINT), int(ID_ZOOM_COMBO), int(ID_PAGE_PREV), int(ID_PAGE_EDIT),
                          int(ID_PAGE_NEXT), int(ID_APP_EXIT)}) {
        const QString tip = LabelWithShortcut(ResTooltipLabel(nID), nID);
        QWidget *tool = nullptr;
        if (nID == ID_ZOOM_COMBO) {
            tool = m_pFrame->GetZoomBox();
        } else if (nID == ID_PAGE_EDIT) {
            tool = m_pFrame->GetPageBox();
        } else if (QAction *action = m_pFrame->GetCommand(nID)) {
            action->setToolTip(tip);
            if (m_pFrame->m_wndToolBar)
                tool = m_pFrame->m_wndToolBar->widgetForAction(action);
        }
        if (tool)
            tool->setToolTip(tip);
    }
}

bool CFrameKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto &key = *static_cast<QKeyEvent *>(event);
    if (key.key() == Qt::Key_Escape)
        return OnEscape(watched, key);
    return OnWindowKey(key);
}

bool CFrameKeys::OnWindowKey(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_F6 && mods == Qt::NoModifier) {
        FocusPageBox();
        return true;
    }
    if (!(mods & Qt::ControlModifier) || (mods & (Qt::AltModifier | Qt::MetaModifier)))
        return false;
    const bool bShift = mods & Qt::ShiftModifier;
    switch (key.key()) {
    case Qt::Key_PageUp:
        if (bShift)
            return false;
        if (m_pFrame->OnUpdateToolbar(ID_PAGE_PREV))
            m_pFrame->OnPagePrev();
        return true;
    case Qt::Key_PageDown:
        if (bShift)
            return false;
        if (m_pFrame->OnUpdateToolbar(ID_PAGE_NEXT))
            m_pFrame->OnPageNext();
        return true;
    case Qt::Key_Home:
        if (bShift)
            return false;
        GoToPage(1);
        return true;
    case Qt::Key_End:
        if (bShift)
            return false;
        GoToPage(theApp.m_nPageCount);
        return true;
    case Qt::Key_L:
        if (bShift)
            return false;
        FocusPageBox();
        return true;
    // Ctrl and "+" comes as Key_Plus with Shift on most layouts, as Key_Equal without it on the key
    // that carries both.
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_pFrame->StepZoom(1);
        return true;
    case Qt::Key_Minus:
        if (bShift)
            return false;
        m_pFrame->StepZoom(-1);
        return true;
    case Qt::Key_0:
        if (bShift || !m_pFrame->GetZoomBox())
            return false;
        // As if 100% were typed into the box and confirmed.
        m_pFrame->GetZoomBox()->lineEdit()->setText(LoadResString(IDS_ZOOM_100));
        m_pFrame->OnZoomEnter();
        return true;
    case Qt::Key_P:
        if (bShift)
            return false;
        if (!key.isAutoRepeat())
            m_pFrame->OnFilePrint();
        return true;
    default:
        return false;
    }
}

bool CFrameKeys::OnEscape(QObject *watched, const QKeyEvent &key)
{
    if (key.modifiers() & ~Qt::KeypadModifier)
        return false;
    CChildView *view = m_pFrame->GetActiveView();
    if (watched == view) {
        if (!key.isAutoRepeat())
            m_pFrame->OnAppExit();
        return true;
    }
    if (watched == m_pFrame->GetZoomBox()) {
        // The open list closes itself on Escape before the box sees the key.
        m_pFrame->OnZoomKillFocus();
    } else if (watched == m_pFrame->GetPageBox()) {
        m_pFrame->OnPageKillFocus();
    } else {
        return false;
    }
    if (view)
        view->setFocus(Qt::OtherFocusReason);
    return true;
}

void CFrameKeys::GoToPage(int nPage)
{
    // Without a page count (the driver reported none), there is no first or last page to go to.
    if (theApp.m_nPageCount < 1 || !m_pFrame->GetPageBox())
        return;
    m_pFrame->GetPageBox()->setText(FormatString(u"%d", {nPage}));
    m_pFrame->OnPageEnter();
}

void CFrameKeys::FocusPageBox()
{
    QLineEdit *box = m_pFrame->GetPageBox();
    if (!box)
        return;
    box->setFocus(Qt::ShortcutFocusReason);
    box->selectAll();
}
