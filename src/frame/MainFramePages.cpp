// The page controls, the page and tape length panes, and the enabling rules.
#include "frame/MainFrame.h"

#include "app/CorvaneApp.h"
#include "frame/PageText.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace {

// Printable text with a character that is not a decimal digit. Control characters (Backspace, Enter)
// are not typed text and pass.
bool HasNonDigitText(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control && DecimalDigitValue(c.unicode()) < 0)
            return true;
    }
    return false;
}

} // namespace

void CMainFrame::OnPagePrev()
{
    m_pPageBox->setText(FormatString(u"%d", {m_nCurPage - 1}));
    OnPageEnter();
}

void CMainFrame::OnPageNext()
{
    m_pPageBox->setText(FormatString(u"%d", {m_nCurPage + 1}));
    OnPageEnter();
}

void CMainFrame::OnPageEnter()
{
    const int nPage = ParsePageText(m_pPageBox->text());
    if (nPage < 1 || nPage > theApp.m_nPageCount) {
        ShowRefusal(IDS_ERR_PAGE_RANGE);
        return;
    }
    if (nPage == m_nCurPage)
        return;
    m_nCurPage = nPage;
    SetPaneText(ID_INDICATOR_PAGE, FormatResString(IDS_PANE_PAGE_FORMAT, {LoadResString(ID_INDICATOR_PAGE),
                                                                          m_nCurPage, theApp.m_nPageCount}));
    if (CChildView *view = GetActiveView())
        view->LoadPage(m_nCurPage);
    theApp.m_strTapeLength = FormatResString(IDS_MM_FORMAT, {theApp.m_nTapeLengthMm});
    SetPaneText(ID_INDICATOR_TAPELENGTH,
                FormatResString(IDS_PANE_TAPELENGTH_FORMAT,
                                {LoadResString(ID_INDICATOR_TAPELENGTH), theApp.m_strTapeLength}));
}

void CMainFrame::OnPageSetFocus()
{
    QTimer::singleShot(0, m_pPageBox, &QLineEdit::selectAll);
}

void CMainFrame::OnPageKillFocus()
{
    m_pPageBox->setText(FormatString(u"%d", {m_nCurPage}));
}

bool CMainFrame::OnUpdateToolbar(int nID) const
{
    switch (nID) {
    case ID_PAGE_PREV:
        return m_nCurPage > 1;
    case ID_PAGE_NEXT:
        return m_nCurPage < theApp.m_nPageCount;
    default:
        // Print, the zoom box and the page box.
        return true;
    }
}

bool CMainFrame::OnUpdateIndicator(int) const
{
    return true;
}

bool CMainFrame::FilterPageBoxInput(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Shortcuts (Ctrl+V pastes) are not typing.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        if (!HasNonDigitText(key->text()))
            return false;
        QApplication::beep();
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        // An input method's text is dropped but the event still goes through, so that the composition
        // ends in the box.
        auto *input = static_cast<QInputMethodEvent *>(event);
        if (HasNonDigitText(input->commitString())) {
            input->setCommitString(QString());
            QApplication::beep();
        }
    }
    return false;
}
