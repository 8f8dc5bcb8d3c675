// The loupe's arithmetic: page rectangle, dot under the pointer, magnification and lens.
#include "view/LoupeGeometry.h"

#include "view/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace LoupeGeometry {

using namespace ViewGeometry;

QRect PageDeviceRect(const ViewState &view, double dDevicePixelRatio)
{
    if (view.image.isEmpty() || view.nLogUnitsPerInch <= 0)
        return QRect();
    const int L = view.nLogUnitsPerInch;
    const int tw = TapeUnits(view.nTapeWidthMm, L);
    const int tl = TapeUnits(view.nTapeLengthMm, L);
    const QSize pageUnits = PageUnits(view.image, L, view.nDpi);
    const QPoint origin = WindowOrigin(view.nOrientation, MarginUnits(tw, tl), view.extent, pageUnits);
    const QSize viewportExt = ViewportExtent(view.nScreenDpiX, view.nScreenDpiY, view.dScale);
    const QRect page = ViewGeometry::PageDeviceRect(PageDestination(view.nOrientation, pageUnits), origin,
                                                    viewportExt, L, dDevicePixelRatio);
    // The scroll positions are whole pixels; in device pixels they round like the view's own paint.
    const QPoint scroll(TruncToInt(std::floor(view.scroll.x() * dDevicePixelRatio + 0.5)),
                        TruncToInt(std::floor(view.scroll.y() * dDevicePixelRatio + 0.5)));
    return page.translated(-scroll);
}

double ViewDevicePixelsPerDot(const ViewState &view, double dDevicePixelRatio)
{
    if (view.nLogUnitsPerInch <= 0)
        return 0.0;
    const QSize viewportExt = ViewportExtent(view.nScreenDpiX, view.nScreenDpiY, view.dScale);
    return double(viewportExt.width()) * dDevicePixelRatio / view.nLogUnitsPerInch;
}

QPoint DotAt(const QPointF &point, double dDevicePixelRatio, const QRect &pageDevice, const QSize &image)
{
    if (pageDevice.isEmpty() || image.isEmpty())
        return QPoint(-1, -1);
    const double dx = std::floor(point.x() * dDevicePixelRatio) - pageDevice.left();
    const double dy = std::floor(point.y() * dDevicePixelRatio) - pageDevice.top();
    // The centre of the device pixel decides, as in the view's own resampling.
    const double x = std::floor((dx + 0.5) * image.width() / pageDevice.width());
    const double y = std::floor((dy + 0.5) * image.height() / pageDevice.height());
    return QPoint(TruncToInt(x), TruncToInt(y));
}

int Magnification(int nLensDeviceSide, double dViewDevicePixelsPerDot)
{
    const int nForDots = nLensDeviceSide / kLensDots;
    const double dTwice = std::ceil(2.0 * std::max(0.0, dViewDevicePixelsPerDot));
    const int nTwice = dTwice >= kMaxMagnification ? kMaxMagnification : int(dTwice);
    return std::clamp(std::max(nForDots, nTwice), kMinMagnification, kMaxMagnification);
}

QRect LensRect(const QPoint &pointer, const QSize &viewport)
{
    const int side = std::min({kLensSide, viewport.width(), viewport.height()});
    if (side <= 0)
        return QRect();
    const int x = std::clamp(pointer.x() - side / 2, 0, viewport.width() - side);
    const int y = std::clamp(pointer.y() - side / 2, 0, viewport.height() - side);
    return QRect(x, y, side, side);
}

int DotsAcross(int nLensDeviceSide, int nMagnification)
{
    if (nMagnification <= 0)
        return 1;
    int n = nLensDeviceSide / nMagnification;
    if (n % 2 == 0)
        --n;
    return std::max(1, n);
}

} // namespace LoupeGeometry
