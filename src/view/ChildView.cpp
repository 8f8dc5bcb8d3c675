// The page view: construction, loading a page, the zoom and the label's extent.
#include "view/ChildView.h"

#include "app/CorvaneApp.h"
#include "frame/MainFrame.h"
#include "view/PageLoad.h"
#include "view/ViewGeometry.h"

#include <QColor>
#include <QPalette>
#include <QScrollBar>

#include <algorithm>

using namespace ViewGeometry;

CChildView::CChildView(QWidget *parent) : QAbstractScrollArea(parent)
{
    // The view decides which bars show (UpdateBars); the scroll area shows just those, at once.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The paint erases what the page leaves free itself and paints every pixel it is given.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The bars are part of the view: a wheel turn over them is the view's wheel message.
    horizontalScrollBar()->installEventFilter(this);
    verticalScrollBar()->installEventFilter(this);
    for (QScrollBar *bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, bar](int nAction) { OnBarAction(bar, nAction); });
}

CChildView::~CChildView()
{
    OnDestroy();
}

void CChildView::OnDestroy()
{
    if (m_hPrevClassBrush.style() != Qt::NoBrush) {
        QPalette palette = viewport()->palette();
        palette.setBrush(viewport()->backgroundRole(), m_hPrevClassBrush);
        viewport()->setPalette(palette);
        m_hPrevClassBrush = QBrush();
        m_brBackground = QBrush();
    }
    m_reduction.Clear();
}

// The erase before every paint fills the exposed area around the page with the viewport's
// background: from here on the grey brush, which is all that shows around the page and in an empty
// view.
void CChildView::OnSetupBackground()
{
    m_brBackground = QBrush(QColor(224, 224, 224));
    QPalette palette = viewport()->palette();
    m_hPrevClassBrush = palette.brush(viewport()->backgroundRole());
    palette.setBrush(viewport()->backgroundRole(), m_brBackground);
    viewport()->setPalette(palette);
}

void CChildView::OnInitialUpdate()
{
    viewport()->update();
    // The job reader accepts only positive resolutions; a zero here would make every length infinite.
    if (theApp.m_nDpi > 0)
        m_nLogUnitsPerInch = theApp.m_nDpi;
    auto *frame = qobject_cast<CMainFrame *>(window());
    if (frame)
        LoadPage(frame->m_nCurPage);
    if (frame)
        SetZoom(frame->m_nZoom);
    UpdateScrollLayout();
    if (m_brBackground.style() == Qt::NoBrush)
        OnSetupBackground();
}

void CChildView::LoadPage(int nPage)
{
    // The resampled copy shares the old page's pixels: let them go with the page.
    m_reduction.Clear();
    theApp.m_nTapeLengthMm =
        LoadPageImage(m_image, theApp.m_strPageFileFormat, nPage, theApp.m_nOrientation, m_nLogUnitsPerInch);
    if (auto *frame = qobject_cast<CMainFrame *>(window()))
        SetZoom(frame->m_nZoom);
    UpdateScrollLayout();
    viewport()->update();
}

void CChildView::SetZoom(int nZoom)
{
    const QSize pageUnits = m_image.IsNull() ? QSize(100, 100)
                                             : PageUnits(QSize(m_image.GetWidth(), m_image.GetHeight()),
                                                         m_nLogUnitsPerInch, theApp.m_nDpi);
    const QSize client = GetClientSize();
    const QSize available(std::max(client.width(), m_sizeLine.width()),
                          std::max(client.height(), m_sizeLine.height()));
    m_dScale = ZoomScale(nZoom, pageUnits, available, m_nLogUnitsPerInch, ScreenDpiX(), ScreenDpiY());
    UpdateScrollLayout();
    viewport()->update();
}

QSize CChildView::GetLabelExtent() const
{
    return GetLabelExtent(GetClientSize());
}

QSize CChildView::GetLabelExtent(const QSize &client) const
{
    const int tw = TapeUnits(theApp.m_nTapeWidthMm, m_nLogUnitsPerInch);
    const int tl = TapeUnits(theApp.m_nTapeLengthMm, m_nLogUnitsPerInch);
    const QSize clientUnits = ClientUnits(client, m_nLogUnitsPerInch, m_dScale, ScreenDpiX(), ScreenDpiY());
    return LabelExtent(LabelSize(tw, tl, theApp.m_nOrientation), MarginUnits(tw, tl), clientUnits);
}

void CChildView::UpdateScrollLayout()
{
    const QSize client = GetClientSize();
    const QSize extent = GetLabelExtent(client);
    const int tw = TapeUnits(theApp.m_nTapeWidthMm, m_nLogUnitsPerInch);
    const int tl = TapeUnits(theApp.m_nTapeLengthMm, m_nLogUnitsPerInch);
    const ScrollLayout layout = ComputeScrollLayout(extent, LabelSize(tw, tl, theApp.m_nOrientation), client,
                                                    m_nLogUnitsPerInch, m_dScale, ScreenDpiX(), ScreenDpiY());
    const bool wasInLayout = m_bInLayout;
    m_bInLayout = true;
    SetScrollSizes(layout.total);
    horizontalScrollBar()->setValue(layout.pos.x());
    verticalScrollBar()->setValue(layout.pos.y());
    m_bInLayout = wasInLayout;
    viewport()->update();
}

int CChildView::ScreenDpiX() const
{
    return logicalDpiX();
}

int CChildView::ScreenDpiY() const
{
    return logicalDpiY();
}
