#pragma once
// The arithmetic of the loupe: the page in device pixels, the dot under a point, the lens.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

// The arithmetic of the dot-exact loupe: where the page lies in the view's device pixels, which
// printer dot is under a point, and how large the lens and its dots are. Plain values in and out.
namespace LoupeGeometry {

// The lens's side in pixels when the view has room for it.
constexpr int kLensSide = 252;
// The fewest device pixels per dot; from kGridMagnification on, a grid separates the dots.
constexpr int kMinMagnification = 4;
constexpr int kGridMagnification = 8;
constexpr int kMaxMagnification = 64;
// The lens aims at showing this many dots across.
constexpr int kLensDots = 21;

// What the view knows of its page and mapping (see ViewGeometry for the symbols).
struct ViewState {
    int nOrientation = 2;
    int nTapeWidthMm = 0;
    int nTapeLengthMm = 0;
    int nLogUnitsPerInch = 0; // L
    int nDpi = 0;             // D
    QSize image;              // the page bitmap in dots
    QSize extent;             // the scrolling area in logical units
    double dScale = 1.0;      // s
    int nScreenDpiX = 96;     // Sx, Sy
    int nScreenDpiY = 96;
    QPoint scroll; // scroll positions in pixels
};

// The page's rectangle in device pixels of the viewport, exactly where the view paints it: the
// destination of the page in logical units mapped through the window origin and the viewport extent,
// less the scroll positions. Empty with no page.
QRect PageDeviceRect(const ViewState &view, double dDevicePixelRatio);

// How many device pixels one dot takes in the view: trunc(Sx x s) x dpr / L.
double ViewDevicePixelsPerDot(const ViewState &view, double dDevicePixelRatio);

// The dot under a point of the viewport (pixels): the device pixel under it, then
// dot = floor((device - page left) x image width / page device width), the same per row. Can lie
// outside the page.
QPoint DotAt(const QPointF &point, double dDevicePixelRatio, const QRect &pageDevice, const QSize &image);

// Device pixels per dot in the lens: enough for kLensDots dots across the lens, at least twice what
// the view shows now and at least kMinMagnification; a whole number, at most kMaxMagnification.
int Magnification(int nLensDeviceSide, double dViewDevicePixelsPerDot);

// The lens in the viewport: a square of side min(kLensSide, the viewport's smaller side) centred on
// the pointer and moved inside the viewport; empty when the viewport has no room.
QRect LensRect(const QPoint &pointer, const QSize &viewport);

// Dots across the lens: as many whole dots as fit, an odd number so that the pointer's dot is the
// middle one; at least 1.
int DotsAcross(int nLensDeviceSide, int nMagnification);

} // namespace LoupeGeometry
