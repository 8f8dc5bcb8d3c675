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
// the page goes there in device pixels (pixels times the device pixel ratio), each dot resampled
// once for all paints at this size.
void CChildView::OnDraw(QPainter &painter, const DrawMapping &mapping, const QRegion &exposed)
{
    if (m_image.IsNull()) {
        m_reduction.Clear();
        return;
    }
    const int tw = TapeUnits(theApp.m_nTapeWidthMm, m_nLogUnitsPerInch);
    const int tl = TapeUnits(theApp.m_nTapeLengthMm, m_nLogUnitsPerInch);
    const QSize extent = GetLabelExtent();
    const QSize pageUnits = PageUnits(QSize(m_image.GetWidth(), m_image.GetHeight()), m_nLogUnitsPerInch, theApp.m_nDpi);
    m_ptWindowOrg = WindowOrigin(theApp.m_nOrientation, MarginUnits(tw, tl), extent, pageUnits);
    const QRect destination = PageDestination(theApp.m_nOrientation, pageUnits);

    const QPaintDevice *device = painter.device();
    const double dpr = device ? device->devicePixelRatioF() : 1.0;
    const QRect pageDevice = PageDeviceRect(destination, m_ptWindowOrg, mapping.sizeViewportExt, mapping.nWindowExt, dpr);
    if (pageDevice.isEmpty())
        return;
    const QPoint scrollDevice(TruncToInt(std::floor(mapping.ptScroll.x() * dpr + 0.5)),
                              TruncToInt(std::floor(mapping.ptScroll.y() * dpr + 0.5)));
    const QRect pageInView = pageDevice.translated(-scrollDevice);
    m_reduction.Prepare(m_image.Image(), pageDevice.size());

    painter.save();
    painter.setWorldTransform(QTransform::fromScale(1.0 / dpr, 1.0 / dpr));
    for (const QRect &r : exposed) {
        const QRect deviceRect(QPoint(TruncToInt(std::floor(r.left() * dpr)), TruncToInt(std::floor(r.top() * dpr))),
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
    OnDraw(painter, mapping, event->region());
}
