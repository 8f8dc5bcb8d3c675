// The page view's painting: the mapping from logical units to pixels and the page drawn into it.
#include "view/ChildView.h"

#include "app/CorvaneApp.h"
#include "view/ViewGeometry.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <cmath>

using namespace ViewGeometry;

CChildView::DrawMapping CChildView::OnPrepareDC(const QPainter &painter) const
{
    DrawMapping mapping;
    mapping.ptScroll = GetScrollPosition();
    const QPaintDevice *device = painter.device();
    mapping.sizeViewportExt = ViewportExtent(device ? device->logicalDpiX() : ScreenDpiX(),
                                             device ? device->logicalDpiY() : ScreenDpiY(), m_dScale);
    mapping.nWindowExt = m_nLogUnitsPerInch;
    return mapping;
}

// A logical point (x, y) lands on ((x - ox) * vx / L - scroll x, (y - oy) * vy / L - scroll y) pixels;
// the page goes there in device pixels (pixels times the device pixel ratio).
QRect CChildView::PageInView(const DrawMapping &mapping, double dDevicePixelRatio, QPoint *pOrigin) const
{
    if (m_image.IsNull())
        return QRect();
    const int tw = TapeUnits(theApp.m_nTapeWidthMm, m_nLogUnitsPerInch);
    const int tl = TapeUnits(theApp.m_nTapeLengthMm, m_nLogUnitsPerInch);
    const QSize pageUnits =
        PageUnits(QSize(m_image.GetWidth(), m_image.GetHeight()), m_nLogUnitsPerInch, theApp.m_nDpi);
    const QPoint origin =
        WindowOrigin(theApp.m_nOrientation, MarginUnits(tw, tl), GetLabelExtent(), pageUnits);
    if (pOrigin)
        *pOrigin = origin;
    const QRect pageDevice = PageDeviceRect(PageDestination(theApp.m_nOrientation, pageUnits), origin,
                                            mapping.sizeViewportExt, mapping.nWindowExt, dDevicePixelRatio);
    const QPoint scrollDevice(TruncToInt(std::floor(mapping.ptScroll.x() * dDevicePixelRatio + 0.5)),
                              TruncToInt(std::floor(mapping.ptScroll.y() * dDevicePixelRatio + 0.5)));
    return pageDevice.translated(-scrollDevice);
}

// The grey fills what the page does not cover: the page's device rectangle shrunk to whole pixels
// stays for the page to paint.
void CChildView::OnEraseBkgnd(QPainter &painter, const DrawMapping &mapping, const QRegion &exposed)
{
    const QPaintDevice *device = painter.device();
    const double dpr = device ? device->devicePixelRatioF() : 1.0;
    const QRect page = PageInView(mapping, dpr, nullptr);
    QRegion erase = exposed;
    if (!page.isEmpty()) {
        const QRect covered(
            QPoint(TruncToInt(std::ceil(page.left() / dpr)), TruncToInt(std::ceil(page.top() / dpr))),
            QPoint(TruncToInt(std::floor((page.right() + 1) / dpr)) - 1,
                   TruncToInt(std::floor((page.bottom() + 1) / dpr)) - 1));
        erase -= covered;
    }
    const QBrush brush = m_brBackground.style() != Qt::NoBrush
                             ? m_brBackground
                             : viewport()->palette().brush(viewport()->backgroundRole());
    for (const QRect &r : erase)
        painter.fillRect(r, brush);
}

void CChildView::OnDraw(QPainter &painter, const DrawMapping &mapping, const QRegion &exposed)
{
    const QPaintDevice *device = painter.device();
    const double dpr = device ? device->devicePixelRatioF() : 1.0;
    const QRect pageInView = PageInView(mapping, dpr, &m_ptWindowOrg);
    if (pageInView.isEmpty()) {
        if (m_image.IsNull())
            m_reduction.Clear();
        return;
    }
    m_reduction.Prepare(m_image.Image(), pageInView.size());

    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1.0 / dpr, 1.0 / dpr));
    for (const QRect &r : exposed) {
        const QRect deviceRect(
            QPoint(TruncToInt(std::floor(r.left() * dpr)), TruncToInt(std::floor(r.top() * dpr))),
            QPoint(TruncToInt(std::ceil((r.right() + 1) * dpr)) - 1,
                   TruncToInt(std::ceil((r.bottom() + 1) * dpr)) - 1));
        const QRect visible = deviceRect.intersected(pageInView);
        if (!visible.isEmpty())
            m_reduction.Draw(painter, visible.translated(-pageInView.topLeft()), visible.topLeft());
    }
    painter.restore();
}

void CChildView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const DrawMapping mapping = OnPrepareDC(painter);
    OnEraseBkgnd(painter, mapping, event->region());
    OnDraw(painter, mapping, event->region());
}
