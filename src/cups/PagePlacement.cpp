// Placing a raster page's rows on the whole page, from the raster, its header or the PPD.
#include "cups/PagePlacement.h"

#include <cmath>

namespace {

// Rounding: a page of 34.4 points at 180 dpi is 86 dots, its printable area from 2.8 to 31.6 points
// 72 dots at 7; sizes given to the point and dots rounded each on its own may disagree by a dot or two.
constexpr qint64 kSlackDots = 2;
constexpr double kSlackPoints = 1.0;
constexpr double kMaxPoints = 1e6;
constexpr qint64 kMaxDots = qint64(1) << 30;

struct Box {
    double left, bottom, right, top;
};

bool Sane(double points)
{
    return std::isfinite(points) && points >= 0 && points < kMaxPoints;
}

bool Near(double a, double b)
{
    return std::fabs(a - b) <= kSlackPoints;
}

// Dots of a length in points: points x dpi / 72, rounded.
qint64 Dots(double points, quint32 dpi)
{
    return std::llround(points * dpi / 72.0);
}

// A box that is not empty and lies in the page (to within a point: page sizes are often rounded).
bool InPage(const Box &b, double pageWidth, double pageLength)
{
    return Sane(b.left) && Sane(b.bottom) && Sane(b.right) && Sane(b.top) && b.left < b.right &&
           b.bottom < b.top && b.right <= pageWidth + kSlackPoints && b.top <= pageLength + kSlackPoints;
}

bool SameArea(const PaperSize &a, const PaperSize &b)
{
    return Near(a.left, b.left) && Near(a.bottom, b.bottom) && Near(a.right, b.right) && Near(a.top, b.top);
}

// The PPD's size of the page: the one named, when it has the page's dimensions (or these are not
// known); else the size of those dimensions, when every such size has the same printable area.
const PaperSize *FindPaperSize(const QList<PaperSize> &sizes, const QByteArray &name, double pageWidth,
                               double pageLength)
{
    const bool known = pageWidth > 0 && pageLength > 0;
    if (!name.isEmpty()) {
        for (const PaperSize &size : sizes) {
            if (size.name == name &&
                (!known || (Near(size.width, pageWidth) && Near(size.length, pageLength))))
                return &size;
        }
    }
    if (!known)
        return nullptr;
    const PaperSize *found = nullptr;
    for (const PaperSize &size : sizes) {
        if (!Near(size.width, pageWidth) || !Near(size.length, pageLength))
            continue;
        if (found != nullptr && !SameArea(*found, size))
            return nullptr;
        if (found == nullptr)
            found = &size;
    }
    return found;
}

// Moves rows that run up to two dots past an edge of the page back onto it; false when they still do
// not fit.
bool Fit(qint64 &at, quint32 size, qint64 page)
{
    if (at < 0 && at >= -kSlackDots)
        at = 0;
    if (at + size > page && at + size <= page + kSlackDots)
        at = page - size;
    return at >= 0 && at + size <= page;
}

} // namespace

PagePlacement PlaceRasterPage(const RasterPageGeometry &raster, const QList<PaperSize> &ppdSizes)
{
    PagePlacement placement;
    placement.pageWidth = raster.width;
    placement.pageHeight = raster.height;
    if (raster.width == 0 || raster.height == 0 || raster.xDpi == 0 || raster.yDpi == 0)
        return placement;

    double pageWidth = raster.pageWidth;
    double pageLength = raster.pageLength;
    if (!Sane(pageWidth) || !Sane(pageLength) || pageWidth == 0 || pageLength == 0) {
        pageWidth = raster.pageWidthWhole;
        pageLength = raster.pageLengthWhole;
    }
    if (!Sane(pageWidth) || !Sane(pageLength) || pageWidth == 0 || pageLength == 0)
        pageWidth = pageLength = 0;
    const PaperSize *paper = FindPaperSize(ppdSizes, raster.sizeName, pageWidth, pageLength);
    if (pageWidth == 0 && paper != nullptr) {
        pageWidth = paper->width;
        pageLength = paper->length;
    }
    if (!Sane(pageWidth) || !Sane(pageLength) || pageWidth == 0 || pageLength == 0)
        return placement;
    placement.pageWidthPt = pageWidth;
    placement.pageLengthPt = pageLength;

    const qint64 width = Dots(pageWidth, raster.xDpi);
    const qint64 height = Dots(pageLength, raster.yDpi);
    if (width > kMaxDots || height > kMaxDots) {
        placement.note = QStringLiteral("a page of %1 x %2 points at %3 x %4 dpi is too large")
                             .arg(pageWidth)
                             .arg(pageLength)
                             .arg(raster.xDpi)
                             .arg(raster.yDpi);
        return placement;
    }
    if (raster.width + kSlackDots >= width && raster.height + kSlackDots >= height)
        return placement;

    // The rows' top row is the printable area's top edge: top dots = (page length - area top) x dpi / 72.
    qint64 left = 0;
    qint64 top = 0;
    PagePlacement::From from = PagePlacement::From::Raster;
    const Box header{raster.box[0], raster.box[1], raster.box[2], raster.box[3]};
    const Box whole{double(raster.boxWhole[0]), double(raster.boxWhole[1]), double(raster.boxWhole[2]),
                    double(raster.boxWhole[3])};
    const Box ppd = paper != nullptr ? Box{paper->left, paper->bottom, paper->right, paper->top} : Box{};
    if (const Box *box = InPage(header, pageWidth, pageLength)  ? &header
                         : InPage(whole, pageWidth, pageLength) ? &whole
                                                                : nullptr) {
        from = box == &header ? PagePlacement::From::HeaderBox : PagePlacement::From::HeaderWholeBox;
        left = Dots(box->left, raster.xDpi);
        top = Dots(pageLength - box->top, raster.yDpi);
    } else if (raster.margins[0] != 0 || raster.margins[1] != 0) {
        // Only the left and bottom margins: the rows stand on the bottom one.
        from = PagePlacement::From::HeaderMargins;
        left = Dots(raster.margins[0], raster.xDpi);
        top = height - Dots(raster.margins[1], raster.yDpi) - raster.height;
    } else if (paper != nullptr && InPage(ppd, pageWidth, pageLength)) {
        from = PagePlacement::From::Ppd;
        left = Dots(ppd.left, raster.xDpi);
        top = Dots(pageLength - ppd.top, raster.yDpi);
    } else {
        placement.note = QStringLiteral("nothing says where its %1 x %2 dots lie on the page of %3 x %4")
                             .arg(raster.width)
                             .arg(raster.height)
                             .arg(width)
                             .arg(height);
        return placement;
    }
    if (!Fit(left, raster.width, width) || !Fit(top, raster.height, height)) {
        placement.note = QStringLiteral("%1 puts its %2 x %3 dots at %4, %5, off the page of %6 x %7")
                             .arg(PlacementSource(from))
                             .arg(raster.width)
                             .arg(raster.height)
                             .arg(left)
                             .arg(top)
                             .arg(width)
                             .arg(height);
        return placement;
    }
    placement.from = from;
    placement.pageWidth = static_cast<quint32>(width);
    placement.pageHeight = static_cast<quint32>(height);
    placement.left = static_cast<quint32>(left);
    placement.top = static_cast<quint32>(top);
    return placement;
}

QString PlacementSource(PagePlacement::From from)
{
    switch (from) {
    case PagePlacement::From::HeaderBox:
        return QStringLiteral("the imaging box of the raster header");
    case PagePlacement::From::HeaderWholeBox:
        return QStringLiteral("the imaging box of the raster header in whole points");
    case PagePlacement::From::HeaderMargins:
        return QStringLiteral("the margins of the raster header");
    case PagePlacement::From::Ppd:
        return QStringLiteral("the imageable area of the PPD");
    case PagePlacement::From::Raster:
        break;
    }
    return QStringLiteral("the raster");
}
