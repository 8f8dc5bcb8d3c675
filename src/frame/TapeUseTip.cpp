// CTapeUseTip: keeping the tape-length pane's tooltip up to date.
#include "frame/TapeUseTip.h"

#include "app/CorvaneApp.h"
#include "frame/MainFrame.h"
#include "frame/WistrelToolTipCtrl.h"
#include "res/Resource.h"
#include "view/ChildView.h"
#include "view/PageLoad.h"

#include <QLabel>

CTapeUseTip::CTapeUseTip(CMainFrame *frame) : QObject(frame), m_pFrame(frame)
{
    setObjectName(QStringLiteral("CTapeUseTip"));
    if (QLabel *pane = frame->GetPane(ID_INDICATOR_TAPELENGTH)) {
        if (CWistrelToolTipCtrl *tip = frame->GetToolTipCtrl())
            tip->AddTool(pane);
    }
    Refresh();
}

void CTapeUseTip::Refresh()
{
    QLabel *pane = m_pFrame->GetPane(ID_INDICATOR_TAPELENGTH);
    if (!pane)
        return;
    int nPageDots = 0;
    if (CChildView *view = m_pFrame->GetActiveView())
        nPageDots =
            PageExtentAlongTape(view->m_image.GetWidth(), view->m_image.GetHeight(), theApp.m_nOrientation);
    const bool bDone = m_pFrame->m_bSpoolDone != 0;
    // The sum is read once the pages are complete, and again only if the count changes afterwards.
    if (bDone && (!m_bSummed || m_nSummedCount != theApp.m_nPageCount)) {
        m_job = SumJobTape(theApp.m_strPageFileFormat, theApp.m_nPageCount, theApp.m_nOrientation);
        m_bSummed = true;
        m_nSummedCount = theApp.m_nPageCount;
    }
    const QString tip =
        TapeUseToolTip(theApp.m_nTapeLengthMm, nPageDots, bDone, m_job, theApp.m_nDpi, theApp.m_nCopies);
    // The idle update asks every time; an unchanged tip is not set again.
    if (pane->toolTip() != tip)
        pane->setToolTip(tip);
}
