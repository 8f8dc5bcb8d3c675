// The zoom box: a picked entry, a typed percent, Ctrl and the wheel, and the box's focus.
#include "frame/MainFrame.h"

#include "app/MessageBox.h"
#include "frame/ZoomText.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <vector>

void CMainFrame::OnZoomSelect()
{
    const int nIndex = m_pZoomBox->currentIndex();
    if (nIndex == -1)
        return;
    // The picked entry's text replaces a typed one even when the entry was already the selection
    // (Qt leaves the edit field alone then).
    SelectZoomItem(nIndex);
    const int nZoom = m_pZoomBox->itemData(nIndex).toInt();
    if (nZoom == m_nZoom)
        return;
    m_nZoom = nZoom;
    if (CChildView *view = GetActiveView())
        view->SetZoom(m_nZoom);
}

void CMainFrame::OnZoomEnter()
{
    const QString wholeLabel = LoadResString(IDS_ZOOM_WHOLE_LABEL);
    int nZoom = 0;
    if (!ParseZoomText(m_pZoomBox->lineEdit()->text(), wholeLabel, nZoom)) {
        ShowRefusal(IDS_ERR_ZOOM_RANGE);
        return;
    }
    if (nZoom == m_nZoom)
        return;
    m_nZoom = nZoom;
    if (CChildView *view = GetActiveView())
        view->SetZoom(m_nZoom);
    SetZoomBoxText(ZoomDisplayText(m_nZoom, wholeLabel));
}

void CMainFrame::StepZoom(int nSteps)
{
    if (!m_pZoomBox)
        return;
    std::vector<int> itemData;
    itemData.reserve(size_t(m_pZoomBox->count()));
    for (int i = 0; i < m_pZoomBox->count(); ++i)
        itemData.push_back(m_pZoomBox->itemData(i).toInt());
    const int nIndex = StepZoomIndex(itemData, m_nZoom, nSteps);
    if (nIndex < 0)
        return;
    SelectZoomItem(nIndex);
    const int nZoom = itemData[size_t(nIndex)];
    if (nZoom == m_nZoom)
        return;
    m_nZoom = nZoom;
    if (CChildView *view = GetActiveView())
        view->SetZoom(m_nZoom);
}

void CMainFrame::OnZoomSetFocus()
{
    // Posted: the selection is made once Qt has finished the focus change (and a click has placed
    // its cursor), so typing replaces the whole text.
    QTimer::singleShot(0, m_pZoomBox->lineEdit(), &QLineEdit::selectAll);
}

void CMainFrame::OnZoomKillFocus()
{
    // Typed but unconfirmed text is dropped; the box shows the current zoom again.
    const QSignalBlocker blocker(m_pZoomBox);
    m_pZoomBox->lineEdit()->setText(ZoomDisplayText(m_nZoom, LoadResString(IDS_ZOOM_WHOLE_LABEL)));
}

void CMainFrame::SelectZoomItem(int nIndex)
{
    const QSignalBlocker blocker(m_pZoomBox);
    m_pZoomBox->setCurrentIndex(nIndex);
    // setCurrentIndex leaves the edit field alone when the index does not change.
    m_pZoomBox->lineEdit()->setText(m_pZoomBox->itemText(nIndex));
}

void CMainFrame::SetZoomBoxText(const QString &text)
{
    for (int i = 0; i < m_pZoomBox->count(); ++i) {
        if (EqualsIgnoringLatinCase(m_pZoomBox->itemText(i), text)) {
            SelectZoomItem(i);
            return;
        }
    }
    const QSignalBlocker blocker(m_pZoomBox);
    m_pZoomBox->lineEdit()->setText(text);
}

void CMainFrame::ShowRefusal(int nMessageId)
{
    // The box takes the focus from the control it refuses; that is not the user leaving the control,
    // so the refused text stays until the user moves the focus elsewhere.
    QPointer<CMainFrame> self(this);
    m_bRefusing = true;
    ShowBox(LoadResString(nMessageId), MB_OK);
    if (!self)
        return;
    m_bRefusing = false;
    // A close request that came while the box was up ended the box; this handler owned it, so it closes.
    if (m_bCloseRequested)
        CloseFrame();
}
