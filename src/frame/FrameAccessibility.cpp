// CFrameAccessibility: accessible names and the announcements of page and zoom.
#include "frame/FrameAccessibility.h"

#include "app/CorvaneApp.h"
#include "frame/MainFrame.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/ChildView.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

CFrameAccessibility::CFrameAccessibility(CMainFrame *frame)
    : QObject(frame), m_pFrame(frame), m_nPage(frame->m_nCurPage), m_nPageCount(theApp.m_nPageCount),
      m_nZoom(frame->m_nZoom)
{
    setObjectName(QStringLiteral("CFrameAccessibility"));
    if (QComboBox *zoomBox = frame->GetZoomBox()) {
        const QString label = ResTooltipLabel(ID_ZOOM_COMBO);
        zoomBox->lineEdit()->setAccessibleName(label);
        zoomBox->lineEdit()->setAccessibleDescription(zoomBox->toolTip());
    }
    for (const int nID : {int(ID_INDICATOR_PAGE), int(ID_INDICATOR_COPIES), int(ID_INDICATOR_TAPEWIDTH)}) {
        if (QLabel *pane = frame->GetPane(nID))
            pane->setAccessibleDescription(LoadResString(nID));
    }
    if (CChildView *view = frame->GetActiveView()) {
        view->setAccessibleName(LoadResString(IDS_VIEW_PAGE_SHOWN));
        if (QLabel *pane = frame->GetPane(ID_INDICATOR_PAGE))
            view->setAccessibleDescription(pane->text());
    }
}

void CFrameAccessibility::OnIdleUpdate()
{
    if (m_nPage != m_pFrame->m_nCurPage || m_nPageCount != theApp.m_nPageCount) {
        m_nPage = m_pFrame->m_nCurPage;
        m_nPageCount = theApp.m_nPageCount;
        AnnouncePage();
    }
    if (m_nZoom != m_pFrame->m_nZoom) {
        m_nZoom = m_pFrame->m_nZoom;
        AnnounceZoom();
    }
}

void CFrameAccessibility::AnnouncePage()
{
    CChildView *view = m_pFrame->GetActiveView();
    QLabel *pane = m_pFrame->GetPane(ID_INDICATOR_PAGE);
    if (!view || !pane)
        return;
    // Setting the description sends the description-changed event; an equal text sends none, so a
    // repeated announcement is sent by hand.
    if (view->accessibleDescription() != pane->text()) {
        view->setAccessibleDescription(pane->text());
    } else {
        QAccessibleEvent event(view, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void CFrameAccessibility::AnnounceZoom()
{
    QComboBox *zoomBox = m_pFrame->GetZoomBox();
    if (!zoomBox)
        return;
    QAccessibleValueChangeEvent event(zoomBox, zoomBox->lineEdit()->text());
    QAccessible::updateAccessibility(&event);
}
