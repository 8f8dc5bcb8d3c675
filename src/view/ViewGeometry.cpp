// The page view's arithmetic: units, zoom and fit, scrolling area and the page's placement.
#include "view/ViewGeometry.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ViewGeometry {

namespace {

// The float nearest to 0.95, widened: the fit keeps 5 % of the window free.
constexpr double kFitFactor = static_cast<double>(0.95f);
constexpr double kMmPerInch = 25.4;
constexpr int kEdgeGap = 24;

int Clamp32(qint64 v)
{
    return static_cast<int>(
        std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

int MulDiv(int a, int b, int d)
{
    if (d == 0)
        return -1;
    const qint64 product = static_cast<qint64>(a) * b;
    // |a * b| < 2^62 and |d| <= 2^31, so the rounding addition cannot overflow.
    const quint64 magnitude = product < 0 ? static_cast<quint64>(-product) : static_cast<quint64>(product);
    const quint64 divisor = d < 0 ? static_cast<quint64>(-static_cast<qint64>(d)) : static_cast<quint64>(d);
    const quint64 quotient = (magnitude + divisor / 2) / divisor;
    const bool negative = (product < 0) != (d < 0);
    if (!negative && quotient > static_cast<quint64>(std::numeric_limits<int>::max()))
        return -1;
    if (negative && quotient > static_cast<quint64>(std::numeric_limits<int>::max()) + 1)
        return -1;
    return negative ? static_cast<int>(-static_cast<qint64>(quotient)) : static_cast<int>(quotient);
}

int TruncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

int TapeUnits(int nMm, int nLogUnitsPerInch)
{
    return TruncToInt(static_cast<double>(nMm) * nLogUnitsPerInch / kMmPerInch);
}

QSize LabelSize(int tw, int tl, int nOrientation)
{
    return nOrientation == 2 ? QSize(tl, tw) : QSize(tw, tl);
}

int MarginUnits(int tw, int tl)
{
    return std::min(tw, tl);
}

QSize PageUnits(const QSize &image, int nLogUnitsPerInch, int nDpi)
{
    return QSize(MulDiv(image.width(), nLogUnitsPerInch, nDpi),
                 MulDiv(image.height(), nLogUnitsPerInch, nDpi));
}

// awl = MulDiv(aw, L, Sx) is the available width in logical units; MulDiv(awl, 100, dW) the percent
// at which the page's width fills it; the smaller axis decides.
double FitPercent(const QSize &pageUnits, const QSize &available, int nLogUnitsPerInch, int nScreenDpiX,
                  int nScreenDpiY)
{
    const int awl = MulDiv(available.width(), nLogUnitsPerInch, nScreenDpiX);
    const int ahl = MulDiv(available.height(), nLogUnitsPerInch, nScreenDpiY);
    const int zx = MulDiv(awl, 100, pageUnits.width());
    const int zy = MulDiv(ahl, 100, pageUnits.height());
    const int z = zx < zy ? zx : zy;
    return z * kFitFactor;
}

double ClampPercent(double v)
{
    if (!(v > 25.0))
        v = 25.0;
    if (!(v < 600.0))
        v = 600.0;
    return v;
}

double ZoomScale(int nZoom, const QSize &pageUnits, const QSize &available, int nLogUnitsPerInch,
                 int nScreenDpiX, int nScreenDpiY)
{
    const double v = nZoom == -1
                         ? FitPercent(pageUnits, available, nLogUnitsPerInch, nScreenDpiX, nScreenDpiY)
                         : static_cast<double>(nZoom);
    return ClampPercent(v) / 100.0;
}

QSize ClientUnits(const QSize &client, int nLogUnitsPerInch, double dScale, int nScreenDpiX, int nScreenDpiY)
{
    const double k = nLogUnitsPerInch / dScale;
    return QSize(TruncToInt((k * client.width()) / nScreenDpiX),
                 TruncToInt((k * client.height()) / nScreenDpiY));
}

QSize LabelExtent(const QSize &label, int nMargin, const QSize &clientUnits)
{
    const int w = Clamp32(static_cast<qint64>(label.width()) + 2 * static_cast<qint64>(nMargin));
    const int h = Clamp32(static_cast<qint64>(label.height()) + 2 * static_cast<qint64>(nMargin));
    return QSize(std::max(w, clientUnits.width()), std::max(h, clientUnits.height()));
}

// With K = L / s logical units per screen inch, a logical length e takes e * S / K pixels.
// Centring puts the scrolling area's centre, (S * (e / 2)) / K, at the client's centre c / 2.
// The label starts half the difference between area and label into the area: (e - l) / 2 * S / K.
ScrollLayout ComputeScrollLayout(const QSize &extent, const QSize &label, const QSize &client,
                                 int nLogUnitsPerInch, double dScale, int nScreenDpiX, int nScreenDpiY)
{
    ScrollLayout r;
    const double k = nLogUnitsPerInch / dScale;
    r.total = QSize(TruncToInt((static_cast<double>(extent.width()) * nScreenDpiX) / k),
                    TruncToInt((static_cast<double>(extent.height()) * nScreenDpiY) / k));
    r.page = QSize(r.total.width() / 10, r.total.height() / 10);
    r.line = QSize(r.page.width() / 10, r.page.height() / 10);

    r.px = (nScreenDpiX * static_cast<double>(extent.width() / 2)) / k - (client.width() / 2);
    r.py = (nScreenDpiY * static_cast<double>(extent.height() / 2)) / k - (client.height() / 2);
    r.lx = ((0.5 * extent.width() - 0.5 * label.width()) * nScreenDpiX) / k;
    r.ly = ((0.5 * extent.height() - 0.5 * label.height()) * nScreenDpiY) / k;

    r.dPosX = r.px;
    r.dPosY = r.py;
    if (r.dPosX > r.lx)
        r.dPosX = std::max(0.0, r.lx - kEdgeGap);
    if (r.dPosY > r.ly)
        r.dPosY = std::max(0.0, r.ly - kEdgeGap);
    r.pos = QPoint(TruncToInt(r.dPosX), TruncToInt(r.dPosY));
    return r;
}

ScrollBars ComputeScrollBars(const QSize &total, const QSize &full, int nVertBarWidth, int nHorzBarHeight)
{
    bool bHorz = total.width() > full.width();
    bool bVert = total.height() > full.height();
    if (bVert && !bHorz)
        bHorz = total.width() > full.width() - nVertBarWidth;
    if (bHorz && !bVert)
        bVert = total.height() > full.height() - nHorzBarHeight;
    return ScrollBarRoom(total, full, bHorz, bVert, nVertBarWidth, nHorzBarHeight);
}

ScrollBars ScrollBarRoom(const QSize &total, const QSize &full, bool bHorz, bool bVert, int nVertBarWidth,
                         int nHorzBarHeight)
{
    ScrollBars r;
    r.bHorz = bHorz;
    r.bVert = bVert;
    r.client = QSize(std::max(0, full.width() - (r.bVert ? nVertBarWidth : 0)),
                     std::max(0, full.height() - (r.bHorz ? nHorzBarHeight : 0)));
    r.range =
        QSize(std::max(0, total.width() - r.client.width()), std::max(0, total.height() - r.client.height()));
    return r;
}

QPoint WindowOrigin(int nOrientation, int nMargin, const QSize &extent, const QSize &pageUnits)
{
    const int ex = extent.width();
    const int ey = extent.height();
    const int dW = pageUnits.width();
    const int dH = pageUnits.height();
    if (nOrientation == 2)
        return QPoint(ex < dW ? -nMargin : -((ex - dW) / 2), -(ey / 2));
    return QPoint(-(ex / 2), ey < dH ? -nMargin : -((ey - dH) / 2));
}

QRect PageDestination(int nOrientation, const QSize &pageUnits)
{
    if (nOrientation == 2)
        return QRect(0, -(pageUnits.height() / 2), pageUnits.width(), pageUnits.height());
    return QRect(-(pageUnits.width() / 2), 0, pageUnits.width(), pageUnits.height());
}

QSize ViewportExtent(int nDpiX, int nDpiY, double dScale)
{
    return QSize(TruncToInt(nDpiX * dScale), TruncToInt(nDpiY * dScale));
}

QRect PageDeviceRect(const QRect &destination, const QPoint &windowOrg, const QSize &viewportExt,
                     int nLogUnitsPerInch, double dDevicePixelRatio)
{
    if (nLogUnitsPerInch == 0)
        return QRect();
    const auto toDevice = [&](qint64 logical, int ext) {
        return TruncToInt(
            std::floor(static_cast<double>(logical) * ext * dDevicePixelRatio / nLogUnitsPerInch + 0.5));
    };
    const qint64 x0 = static_cast<qint64>(destination.x()) - windowOrg.x();
    const qint64 y0 = static_cast<qint64>(destination.y()) - windowOrg.y();
    const int left = toDevice(x0, viewportExt.width());
    const int top = toDevice(y0, viewportExt.height());
    const int right = toDevice(x0 + destination.width(), viewportExt.width());
    const int bottom = toDevice(y0 + destination.height(), viewportExt.height());
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// t = MulDiv(-z, n, 120) lines, positive downwards. A line-wise scroll downwards stops at one page;
// page mode moves one page step whatever the delta, up for a positive delta.
WheelAction ComputeWheel(bool bCtrl, bool bShift, int nDelta, bool bHorzBar, bool bVertBar, int nLines,
                         const QSize &line, const QSize &page)
{
    WheelAction r;
    if (bCtrl) {
        r.bZoom = true;
        r.nZoomSteps = nDelta / 120;
        return r;
    }
    if (!bHorzBar && !bVertBar)
        return r;
    const bool vertical = bVertBar && !bShift;
    if (!vertical && !bHorzBar)
        return r;
    const int lineStep = vertical ? line.height() : line.width();
    const int pageStep = vertical ? page.height() : page.width();
    qint64 d;
    if (nLines == -1) {
        d = nDelta > 0 ? -pageStep : pageStep;
    } else {
        const qint64 lines = MulDiv(Clamp32(-static_cast<qint64>(nDelta)), nLines, 120);
        d = std::min<qint64>(lines * lineStep, pageStep);
    }
    r.bScroll = true;
    (vertical ? r.nDy : r.nDx) = Clamp32(d);
    return r;
}

} // namespace ViewGeometry
