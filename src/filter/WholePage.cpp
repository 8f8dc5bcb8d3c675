// Placing a page's rows on the whole page and setting its size in micrometres.
#include "WholePage.h"

#include "log/Log.h"

#include <cmath>

void PlaceOnWholePage(const cups_page_header2_t &header, const QList<PaperSize> &ppdSizes,
                      agentwire::PageInfo &page)
{
    RasterPageGeometry raster;
    raster.width = header.cupsWidth;
    raster.height = header.cupsHeight;
    raster.xDpi = header.HWResolution[0];
    raster.yDpi = header.HWResolution[1];
    raster.pageWidth = header.cupsPageSize[0];
    raster.pageLength = header.cupsPageSize[1];
    raster.pageWidthWhole = header.PageSize[0];
    raster.pageLengthWhole = header.PageSize[1];
    for (int i = 0; i < 4; ++i) {
        raster.box[i] = header.cupsImagingBBox[i];
        raster.boxWhole[i] = header.ImagingBoundingBox[i];
    }
    raster.margins[0] = header.Margins[0];
    raster.margins[1] = header.Margins[1];
    raster.sizeName = QByteArray(header.cupsPageSizeName, qstrnlen(header.cupsPageSizeName, 64));

    agentwire::RowsAreThePage(page);
    const PagePlacement placement = PlaceRasterPage(raster, ppdSizes);
    const QString tag = QStringLiteral("page %1: ").arg(page.page);
    if (placement.from == PagePlacement::From::Raster) {
        if (!placement.note.isEmpty())
            Log::Debug(tag + QStringLiteral("the raster is shown as the page: ") + placement.note);
        return;
    }
    agentwire::PageInfo placed = page;
    placed.pageWidth = placement.pageWidth;
    placed.pageHeight = placement.pageHeight;
    placed.left = placement.left;
    placed.top = placement.top;
    // Micrometres of the page size in points: points x 25400 / 72.
    placed.widthUm = static_cast<quint32>(std::lround(placement.pageWidthPt * 25400.0 / 72.0));
    placed.lengthUm = static_cast<quint32>(std::lround(placement.pageLengthPt * 25400.0 / 72.0));
    QString why;
    if (!agentwire::CheckPage(placed, &why)) {
        Log::Debug(tag + QStringLiteral("the raster is shown as the page, the whole page is not: ") + why);
        return;
    }
    page = placed;
    Log::Debug(tag + QStringLiteral("rows of %1 x %2 dots at %3, %4 on the whole page of %5 x %6 (%7)")
                         .arg(page.width)
                         .arg(page.height)
                         .arg(page.left)
                         .arg(page.top)
                         .arg(page.pageWidth)
                         .arg(page.pageHeight)
                         .arg(PlacementSource(placement.from)));
}
