#pragma once
// Where a raster page's rows lie on the whole page.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// Where a raster page's rows lie on the whole page. Many label drivers' rasters hold only the printable
// area (CUPS's rasterizers cut the page to the PPD's *ImageableArea); the preview shows the whole
// label with that area at its place and the unprinted border white.
//
// Points are 1/72 inch, measured as PostScript does: from the page's bottom left corner. Dots are the
// raster's, top row first.

// One page size of a PPD: its *PaperDimension and *ImageableArea, in points.
struct PaperSize {
    QByteArray name;
    double width = 0;
    double length = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
};

// What a raster page header says about the page (the fields of cups_page_header2_t).
struct RasterPageGeometry {
    quint32 width = 0;  // cupsWidth, dots
    quint32 height = 0; // cupsHeight, dots
    quint32 xDpi = 0;   // HWResolution
    quint32 yDpi = 0;
    double pageWidth = 0; // cupsPageSize, points; 0 when not given
    double pageLength = 0;
    quint32 pageWidthWhole = 0; // PageSize, whole points
    quint32 pageLengthWhole = 0;
    double box[4] = {0, 0, 0, 0};       // cupsImagingBBox: left, bottom, right, top, points
    quint32 boxWhole[4] = {0, 0, 0, 0}; // ImagingBoundingBox, whole points
    quint32 margins[2] = {0, 0};        // Margins: left, bottom, whole points
    QByteArray sizeName;                // cupsPageSizeName
};

struct PagePlacement {
    // Where the placement came from. Raster: the rows are the page (they cover it, or nothing says
    // where they lie on it).
    enum class From { Raster, HeaderBox, HeaderWholeBox, HeaderMargins, Ppd };
    From from = From::Raster;
    quint32 pageWidth = 0; // the whole page, dots
    quint32 pageHeight = 0;
    quint32 left = 0; // the rows' top left dot on it
    quint32 top = 0;
    double pageWidthPt = 0; // the page size used, points; 0 when none is known
    double pageLengthPt = 0;
    QString note; // why rows that are less than a known page are shown as they are
};

// The rows' place on the whole page: the page size from the header (cupsPageSize, else PageSize),
// else from the PPD's size of the header's page size name; the printable area from the header
// (cupsImagingBBox, else ImagingBoundingBox, else Margins), else from the PPD's *ImageableArea of the
// page size (by name, else the one size of those dimensions). Rows that cover the page (within two
// dots), or that the area found does not hold, are the page.
PagePlacement PlaceRasterPage(const RasterPageGeometry &raster, const QList<PaperSize> &ppdSizes);
// The source's name for the logs ("the raster header's imaging box").
QString PlacementSource(PagePlacement::From from);
