#pragma once
// The arithmetic of the page view: units, zoom, scrolling and the page's placement.

#include <QPoint>
#include <QRect>
#include <QSize>

// The arithmetic of the page view: printer dots and tape millimetres to logical units, the zoom and
// its fit to the window, the scrolling area, the scroll positions, the placement of the page and the
// mouse wheel. Plain values in, plain values out; the view calls these with its own state.
//
// Symbols: L logical units per inch, s the scale (1.0 = 100 %), D the printer's dots per inch,
// Sx, Sy the screen's dots per inch, cw, ch the client area in pixels.
namespace ViewGeometry {

// a * b / d through a 64-bit product, rounded to the nearest integer with halves away from zero;
// -1 when d is 0 or the quotient does not fit in 32 bits.
int MulDiv(int a, int b, int d);

// trunc(v) toward zero, saturated to the int range (NaN gives 0).
int TruncToInt(double v);

// Millimetres in logical units: trunc(mm * L / 25.4).
int TapeUnits(int nMm, int nLogUnitsPerInch);

// The label's logical size: (tw, tl) when the tape runs down the screen (orientation 1),
// (tl, tw) when it runs across (orientation 2).
QSize LabelSize(int tw, int tl, int nOrientation);

// The margin unit m: the smaller tape dimension.
int MarginUnits(int tw, int tl);

// The page bitmap in logical units: (MulDiv(iw, L, D), MulDiv(ih, L, D)).
QSize PageUnits(const QSize &image, int nLogUnitsPerInch, int nDpi);

// The zoom percent that fits the page into the available pixels, before the clamp:
// 0.95 (as the float nearest to it) times the smaller of the two whole percents that fill each axis.
double FitPercent(const QSize &pageUnits, const QSize &available, int nLogUnitsPerInch, int nScreenDpiX,
                  int nScreenDpiY);

// 25 when v is not greater than 25, then 600 when v is not less than 600; otherwise v.
double ClampPercent(double v);

// The scale for a zoom of nZoom percent, or for the fit when nZoom is -1. The available size is the
// client size, each axis at least the current line step; pageUnits is (100, 100) with no page loaded.
double ZoomScale(int nZoom, const QSize &pageUnits, const QSize &available, int nLogUnitsPerInch,
                 int nScreenDpiX, int nScreenDpiY);

// The client area in logical units: (trunc(L / s * cw / Sx), trunc(L / s * ch / Sy)).
QSize ClientUnits(const QSize &client, int nLogUnitsPerInch, double dScale, int nScreenDpiX, int nScreenDpiY);

// The scrolling area: the label with a margin m on every side, at least the client area per axis.
QSize LabelExtent(const QSize &label, int nMargin, const QSize &clientUnits);

// The scrolling area in pixels and the scroll positions after a zoom or page change.
struct ScrollLayout {
    QSize total;                 // trunc(extent * S / K), K = L / s
    QSize page;                  // total / 10
    QSize line;                  // page / 10
    double px = 0, py = 0;       // centring positions
    double lx = 0, ly = 0;       // the label's leading edges in the scrolling area
    double dPosX = 0, dPosY = 0; // centring, or 24 pixels before a leading edge it would hide
    QPoint pos;                  // trunc of dPosX, dPosY (the scroll bars clamp it to their range)
};
ScrollLayout ComputeScrollLayout(const QSize &extent, const QSize &label, const QSize &client,
                                 int nLogUnitsPerInch, double dScale, int nScreenDpiX, int nScreenDpiY);

// Which scroll bars a total size needs in an area that measures `full` without bars: a bar when the
// total exceeds the room, also when the other bar takes the room that was just enough.
struct ScrollBars {
    bool bHorz = false;
    bool bVert = false;
    QSize client; // full minus the bars shown
    QSize range;  // scroll range maxima, total - client, at least 0
};
ScrollBars ComputeScrollBars(const QSize &total, const QSize &full, int nVertBarWidth, int nHorzBarHeight);
// The client and the ranges for the bars given, whether the total needs them or not.
ScrollBars ScrollBarRoom(const QSize &total, const QSize &full, bool bHorz, bool bVert, int nVertBarWidth,
                         int nHorzBarHeight);

// The window origin when painting: the scrolling area's centre on the axis across the tape; along
// the tape the page centred, or m after the leading edge when the area is shorter than the page.
QPoint WindowOrigin(int nOrientation, int nMargin, const QSize &extent, const QSize &pageUnits);

// Where the page goes in logical units, relative to the window origin.
QRect PageDestination(int nOrientation, const QSize &pageUnits);

// Pixels per inch of the mapping: (trunc(Sx * s), trunc(Sy * s)).
QSize ViewportExtent(int nDpiX, int nDpiY, double dScale);

// The page's rectangle in device pixels, measured from the scrolling area's top-left corner:
// a logical x lands on (x - ox) * vx / L pixels, times the device pixel ratio, rounded.
QRect PageDeviceRect(const QRect &destination, const QPoint &windowOrg, const QSize &viewportExt,
                     int nLogUnitsPerInch, double dDevicePixelRatio);

// What one wheel message does.
struct WheelAction {
    bool bZoom = false; // Ctrl: step the zoom selection by nZoomSteps, scroll nothing
    int nZoomSteps = 0;
    int nDx = 0; // pixels to scroll, positive rightwards / downwards
    int nDy = 0;
    bool bScroll = false; // a scroll of (nDx, nDy) is to be attempted
};
// nLines is the lines-per-notch setting (-1: one page per notch); steps are the current line and
// page steps per axis; the bars are those shown at that moment.
WheelAction ComputeWheel(bool bCtrl, bool bShift, int nDelta, bool bHorzBar, bool bVertBar, int nLines,
                         const QSize &line, const QSize &page);

} // namespace ViewGeometry
