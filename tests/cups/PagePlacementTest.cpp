// Where a raster's rows lie on the whole page, worked out by hand: dots = points x dpi / 72, rounded;
// the top offset is (page length - area top) x dpi / 72.
#include "cups/PagePlacement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using From = PagePlacement::From;

// The printable area of printer-driver-dymo's LabelManager 12 mm label (w35h252.1), in points.
const PaperSize kLabel12{"w35h252.1", 35, 252, 2.8, 30, 31.6, 222};
const PaperSize kFile12{"w35h252", 35, 252, 2.8, 30, 31.6, 222};
const PaperSize kOther12{"w35h252.9", 35, 252, 7.2, 30, 31.6, 222};

struct PlaceCase {
    const char *name;
    RasterPageGeometry raster;
    QList<PaperSize> ppd;
    From from;
    quint32 pageWidth, pageHeight, left, top;
    const char *note; // part of the note; "" for none
};

void PrintTo(const PlaceCase &c, std::ostream *out)
{
    *out << c.name;
}

// A raster of width x height dots at dpi on a page of pageWidth x pageLength points.
RasterPageGeometry Raster(quint32 width, quint32 height, quint32 dpi, double pageWidth, double pageLength)
{
    RasterPageGeometry r;
    r.width = width;
    r.height = height;
    r.xDpi = r.yDpi = dpi;
    r.pageWidth = pageWidth;
    r.pageLength = pageLength;
    r.pageWidthWhole = static_cast<quint32>(pageWidth);
    r.pageLengthWhole = static_cast<quint32>(pageLength);
    return r;
}

RasterPageGeometry WithBox(RasterPageGeometry r, double left, double bottom, double right, double top)
{
    const double box[4] = {left, bottom, right, top};
    for (int i = 0; i < 4; ++i) {
        r.box[i] = box[i];
        r.boxWhole[i] = static_cast<quint32>(std::lround(box[i]));
    }
    r.margins[0] = r.boxWhole[0];
    r.margins[1] = r.boxWhole[1];
    return r;
}

RasterPageGeometry Only(RasterPageGeometry r, bool wholeBox, bool margins, const char *name = "")
{
    for (int i = 0; i < 4; ++i)
        r.box[i] = 0;
    if (!wholeBox)
        r.boxWhole[0] = r.boxWhole[1] = r.boxWhole[2] = r.boxWhole[3] = 0;
    if (!margins)
        r.margins[0] = r.margins[1] = 0;
    r.sizeName = name;
    return r;
}

// The LabelManager's 12 mm label as CUPS rasterizes it at 180 dpi: 28.8 x 192 points = 72 x 480 dots.
const RasterPageGeometry kLm = WithBox(Raster(72, 480, 180, 34.4, 252), 2.8, 30, 31.6, 222);
// CUPS's sample label driver, w81h252 at 300 dpi: 77 x 222.2 points = 321 x 926 dots.
const RasterPageGeometry kSample = WithBox(Raster(321, 926, 300, 81, 252), 2, 14.9, 79, 237.1);

RasterPageGeometry NoPointSize(RasterPageGeometry r)
{
    r.pageWidth = std::nan("");
    return r;
}

class PagePlacementTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PagePlacementTest, PlacesTheRowsOnTheWholePage)
{
    const PlaceCase &c = GetParam();
    const PagePlacement p = PlaceRasterPage(c.raster, c.ppd);
    EXPECT_EQ(p.from, c.from) << PlacementSource(p.from).toStdString();
    EXPECT_EQ(p.pageWidth, c.pageWidth);
    EXPECT_EQ(p.pageHeight, c.pageHeight);
    EXPECT_EQ(p.left, c.left);
    EXPECT_EQ(p.top, c.top);
    if (*c.note == '\0')
        EXPECT_TRUE(p.note.isEmpty()) << p.note.toStdString();
    else
        EXPECT_TRUE(p.note.contains(QLatin1String(c.note))) << p.note.toStdString();
}

const RasterPageGeometry kLm35 = Raster(72, 480, 180, 35, 252);

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, PagePlacementTest,
    ::testing::Values(
        // 34.4 x 2.5 = 86, 252 x 2.5 = 630; 2.8 x 2.5 = 7, (252 - 222) x 2.5 = 75.
        PlaceCase{"LabelManagerFromTheHeader", kLm, {}, From::HeaderBox, 86, 630, 7, 75, ""},
        // 81 x 300 / 72 = 337.5 -> 338, 252 -> 1050; 2 -> 8.33 -> 8, 14.9 -> 62.08 -> 62.
        PlaceCase{"SampleDriverFromTheHeader", kSample, {}, From::HeaderBox, 338, 1050, 8, 62, ""},
        PlaceCase{"RowsADotShortAreThePage", WithBox(Raster(336, 1049, 300, 81, 252), 0, 0, 81, 252), {},
                  From::Raster, 336, 1049, 0, 0, ""},
        // Whole points 3 30 32 222: 3 x 2.5 = 7.5 -> 8.
        PlaceCase{"WholePointBox", Only(kLm, true, true), {}, From::HeaderWholeBox, 86, 630, 8, 75, ""},
        // Margins 3, 30: 8 from the left; 630 - 75 - 480 = 75 from the top.
        PlaceCase{"MarginsOnly", Only(kLm, false, true), {}, From::HeaderMargins, 86, 630, 8, 75, ""},
        PlaceCase{"PpdByName", Only(kLm, false, false, "w35h252.1"), {kOther12, kLabel12}, From::Ppd,
                  86, 630, 7, 75, ""},
        // 35 x 2.5 = 87.5 -> 88.
        PlaceCase{"PpdByDimensions", Only(kLm35, false, false), {kFile12, kLabel12}, From::Ppd,
                  88, 630, 7, 75, ""},
        PlaceCase{"PpdSizesThatDisagree", Only(kLm35, false, false), {kLabel12, kOther12}, From::Raster,
                  72, 480, 0, 0, "nothing says"},
        PlaceCase{"PageSizeFromThePpd", Only(Raster(72, 480, 180, 0, 0), false, false, "w35h252.1"),
                  {kLabel12}, From::Ppd, 88, 630, 7, 75, ""},
        PlaceCase{"NothingKnown", Only(Raster(72, 480, 180, 0, 0), false, false), {}, From::Raster,
                  72, 480, 0, 0, ""},
        // 7 + 80 = 87: a dot past the edge of 86 is rounding; the rows move to 6.
        PlaceCase{"RoundingMovesTheRowsOnThePage",
                  WithBox(Raster(80, 480, 180, 34.4, 252), 2.8, 30, 31.6, 222), {}, From::HeaderBox,
                  86, 630, 6, 75, ""},
        // 75 + 600 = 675 rows on a page of 630: the header is wrong, the rows are shown as they are.
        PlaceCase{"RowsOffThePage", WithBox(Raster(72, 600, 180, 34.4, 252), 2.8, 30, 31.6, 222), {},
                  From::Raster, 72, 600, 0, 0, "off the page"},
        PlaceCase{"BoxOutsideThePageFallsBackToTheMargins",
                  WithBox(Raster(72, 480, 180, 34.4, 252), 2.8, 30, 31.6, 999), {}, From::HeaderMargins,
                  86, 630, 8, 75, ""},
        // No cupsPageSize: PageSize 34 x 2.5 = 85.
        PlaceCase{"NotANumberPageSizeTakesPageSize", NoPointSize(kLm), {}, From::HeaderBox,
                  85, 630, 7, 75, ""}),
    [](const auto &param) { return std::string(param.param.name); });
// clang-format on

} // namespace
