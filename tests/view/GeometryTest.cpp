// The view's arithmetic against a job worked through by hand: 360 dots per inch, 24 mm tape, a page of
// 1417 x 340 dots (340 x 1417 with the tape running down), a 96-dpi screen and an 800 x 500 client.
#include "view/ViewGeometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

using namespace ViewGeometry;

namespace {

constexpr int kL = 360;
constexpr int kDpi = 360;
constexpr int kScreen = 96;
const QSize kClient(800, 500);

struct ExampleCase {
    const char *name;
    int nOrientation;
    int nZoom;
    QSize lineBefore; // line steps of the layout before this zoom (read by the fit)
    double dScale;
    QSize clientUnits;
    QSize extent;
    QSize total;
    QSize page;
    QSize line;
    double px, py, lx, ly;
    QPoint pos;
    int nViewportExt;
    QPoint origin;
    QRect destination;
};

void PrintTo(const ExampleCase &c, std::ostream *os)
{
    *os << c.name;
}

class WorkedExample : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(WorkedExample, EveryIntermediateValue)
{
    const ExampleCase &c = GetParam();
    const QSize image = c.nOrientation == 2 ? QSize(1417, 340) : QSize(340, 1417);
    const int tw = TapeUnits(24, kL);
    const int tl = TapeUnits(100, kL);
    EXPECT_EQ(tw, 340);
    EXPECT_EQ(tl, 1417);
    const QSize label = LabelSize(tw, tl, c.nOrientation);
    EXPECT_EQ(label, c.nOrientation == 2 ? QSize(1417, 340) : QSize(340, 1417));
    const int m = MarginUnits(tw, tl);
    EXPECT_EQ(m, 340);
    const QSize pageUnits = PageUnits(image, kL, kDpi);
    EXPECT_EQ(pageUnits, image);

    const QSize available(std::max(kClient.width(), c.lineBefore.width()),
                          std::max(kClient.height(), c.lineBefore.height()));
    const double s = ZoomScale(c.nZoom, pageUnits, available, kL, kScreen, kScreen);
    EXPECT_EQ(s, c.dScale);

    const QSize clientUnits = ClientUnits(kClient, kL, s, kScreen, kScreen);
    EXPECT_EQ(clientUnits, c.clientUnits);
    const QSize extent = LabelExtent(label, m, clientUnits);
    EXPECT_EQ(extent, c.extent);

    const ScrollLayout layout = ComputeScrollLayout(extent, label, kClient, kL, s, kScreen, kScreen);
    EXPECT_EQ(layout.total, c.total);
    EXPECT_EQ(layout.page, c.page);
    EXPECT_EQ(layout.line, c.line);
    EXPECT_NEAR(layout.px, c.px, 0.005);
    EXPECT_NEAR(layout.py, c.py, 0.005);
    EXPECT_NEAR(layout.lx, c.lx, 0.005);
    EXPECT_NEAR(layout.ly, c.ly, 0.005);
    EXPECT_EQ(layout.pos, c.pos);

    EXPECT_EQ(ViewportExtent(kScreen, kScreen, s), QSize(c.nViewportExt, c.nViewportExt));
    EXPECT_EQ(WindowOrigin(c.nOrientation, m, extent, pageUnits), c.origin);
    EXPECT_EQ(PageDestination(c.nOrientation, pageUnits), c.destination);
}

// Worked by hand from the formulas; the fit's scales are 212 x 0.95f / 100 and 132 x 0.95f / 100.
INSTANTIATE_TEST_SUITE_P(
    Job, WorkedExample,
    ::testing::Values(
        ExampleCase{"across_100", 2, 100, QSize(0, 0), 1.0, QSize(3000, 1875), QSize(3000, 1875),
                    QSize(800, 500), QSize(80, 50), QSize(8, 5), 0.0, -0.1333, 211.0667, 204.6667,
                    QPoint(0, 0), 96, QPoint(-791, -937), QRect(0, -170, 1417, 340)},
        ExampleCase{"across_whole", 2, -1, QSize(8, 5), 2.0139999747276307, QSize(1489, 930),
                    QSize(2097, 1020), QSize(1126, 547), QSize(112, 54), QSize(11, 5), 162.8459, 23.9040,
                    182.6027, 182.6027, QPoint(162, 23), 193, QPoint(-340, -510), QRect(0, -170, 1417, 340)},
        ExampleCase{"across_400", 2, 400, QSize(8, 5), 4.0, QSize(750, 468), QSize(2097, 1020),
                    QSize(2236, 1088), QSize(223, 108), QSize(22, 10), 717.8667, 294.0, 362.6667, 362.6667,
                    QPoint(338, 294), 384, QPoint(-340, -510), QRect(0, -170, 1417, 340)},
        ExampleCase{"down_100", 1, 100, QSize(0, 0), 1.0, QSize(3000, 1875), QSize(3000, 2097),
                    QSize(800, 559), QSize(80, 55), QSize(8, 5), 0.0, 29.4667, 354.6667, 90.6667,
                    QPoint(0, 29), 96, QPoint(-1500, -340), QRect(-170, 0, 340, 1417)},
        ExampleCase{"down_whole", 1, -1, QSize(8, 5), 1.2539999842643738, QSize(2392, 1495),
                    QSize(2392, 2097), QSize(799, 701), QSize(79, 70), QSize(7, 7), -0.0576, 100.4512,
                    343.0944, 113.6960, QPoint(0, 100), 120, QPoint(-1196, -340), QRect(-170, 0, 340, 1417)},
        ExampleCase{"down_400", 1, 400, QSize(8, 5), 4.0, QSize(750, 468), QSize(1020, 2097),
                    QSize(1088, 2236), QSize(108, 223), QSize(10, 22), 144.0, 867.8667, 362.6667, 362.6667,
                    QPoint(144, 338), 384, QPoint(-510, -340), QRect(-170, 0, 340, 1417)}),
    [](const ::testing::TestParamInfo<ExampleCase> &param) { return std::string(param.param.name); });

TEST(WorkedExample, FitIsTheFloatFactorUnrounded)
{
    const double v = FitPercent(QSize(1417, 340), kClient, kL, kScreen, kScreen);
    EXPECT_EQ(v, 201.39999747276306);
    EXPECT_EQ(ClampPercent(v) / 100.0, 2.0139999747276307);
    EXPECT_NE(ClampPercent(v) / 100.0, 2.014);
}

TEST(WorkedExample, PageLandsOnThePixelsOfTheLabel)
{
    // 791 x 96 / 360 = 210.93 .. 2208 x 96 / 360 = 588.8; 767 x 96 / 360 = 204.53 .. 295.2.
    EXPECT_EQ(PageDeviceRect(QRect(0, -170, 1417, 340), QPoint(-791, -937), QSize(96, 96), kL, 1.0),
              QRect(QPoint(211, 205), QPoint(588, 294)));
    // Twice the device pixels for a device pixel ratio of 2: 421.87 .. 1177.6, 409.07 .. 590.4.
    EXPECT_EQ(PageDeviceRect(QRect(0, -170, 1417, 340), QPoint(-791, -937), QSize(96, 96), kL, 2.0),
              QRect(QPoint(422, 409), QPoint(1177, 589)));
}

struct MulDivCase {
    int a, b, d, expected;
};

void PrintTo(const MulDivCase &c, std::ostream *os)
{
    *os << c.a << " * " << c.b << " / " << c.d << " -> " << c.expected;
}

class MulDivRounding : public ::testing::TestWithParam<MulDivCase> {};

TEST_P(MulDivRounding, HalvesAwayFromZero)
{
    const MulDivCase &c = GetParam();
    EXPECT_EQ(MulDiv(c.a, c.b, c.d), c.expected) << c.a << " * " << c.b << " / " << c.d;
}

INSTANTIATE_TEST_SUITE_P(Cases, MulDivRounding,
                         ::testing::Values(MulDivCase{60, 3, 120, 2}, MulDivCase{-60, 3, 120, -2},
                                           MulDivCase{60, 3, -120, -2}, MulDivCase{-60, -3, -120, -2},
                                           MulDivCase{1, 1, 3, 0}, MulDivCase{2, 1, 3, 1},
                                           MulDivCase{-2, 1, 3, -1}, MulDivCase{3000, 100, 1417, 212},
                                           MulDivCase{1875, 100, 340, 551}, MulDivCase{5, 7, 0, -1},
                                           MulDivCase{0, 7, 0, -1}, MulDivCase{INT_MAX, 2, 1, -1},
                                           MulDivCase{INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                                           MulDivCase{INT_MIN, 1, 1, INT_MIN}, MulDivCase{INT_MIN, -1, 1, -1},
                                           MulDivCase{INT_MAX, 3, 2, -1}, MulDivCase{1417, 254, 360, 1000}));

TEST(Zoom, TypedEndsAreExact)
{
    const QSize page(1417, 340);
    EXPECT_EQ(ZoomScale(25, page, kClient, kL, kScreen, kScreen), 0.25);
    EXPECT_EQ(ZoomScale(600, page, kClient, kL, kScreen, kScreen), 6.0);
    EXPECT_EQ(ZoomScale(24, page, kClient, kL, kScreen, kScreen), 0.25);
    EXPECT_EQ(ZoomScale(601, page, kClient, kL, kScreen, kScreen), 6.0);
    EXPECT_EQ(ZoomScale(150, page, kClient, kL, kScreen, kScreen), 1.5);
}

TEST(Zoom, FitOfAnEmptyViewClampsTo600)
{
    // The 100 x 100 stand-in: zx = 3000, zy = 1875, v = 1781.25 x (0.95f / 0.95).
    EXPECT_NEAR(FitPercent(QSize(100, 100), kClient, kL, kScreen, kScreen), 1781.2499776, 1e-6);
    EXPECT_EQ(ZoomScale(-1, QSize(100, 100), kClient, kL, kScreen, kScreen), 6.0);
}

TEST(Zoom, FitOfANullClientClampsTo25)
{
    EXPECT_EQ(FitPercent(QSize(1417, 340), QSize(0, 0), kL, kScreen, kScreen), 0.0);
    EXPECT_EQ(ZoomScale(-1, QSize(1417, 340), QSize(0, 0), kL, kScreen, kScreen), 0.25);
    // The line steps of the last layout as the floor: 11 px are 41 units, 3 % of the page.
    EXPECT_EQ(ZoomScale(-1, QSize(1417, 340), QSize(11, 5), kL, kScreen, kScreen), 0.25);
    // A zero divisor in the fit goes to the same clamp.
    EXPECT_EQ(ZoomScale(-1, QSize(0, 0), kClient, kL, kScreen, kScreen), 0.25);
}

TEST(Zoom, NullClientLayoutStaysDefined)
{
    const QSize label(1417, 340);
    const QSize extent = LabelExtent(label, 340, ClientUnits(QSize(0, 0), kL, 0.25, kScreen, kScreen));
    EXPECT_EQ(extent, QSize(2097, 1020));
    const ScrollLayout layout = ComputeScrollLayout(extent, label, QSize(0, 0), kL, 0.25, kScreen, kScreen);
    // K = 1440: total (139, 68); centring (69.87, 34) passes the label's edges (22.67), so 0.
    EXPECT_EQ(layout.total, QSize(139, 68));
    EXPECT_EQ(layout.pos, QPoint(0, 0));
}

TEST(Zoom, FailedLoadLeavesTheTapeWidthAcrossAndTheClientAlong)
{
    const int tw = TapeUnits(24, kL);
    const int tl = TapeUnits(0, kL);
    EXPECT_EQ(tl, 0);
    EXPECT_EQ(MarginUnits(tw, tl), 0);
    const QSize label = LabelSize(tw, tl, 2);
    EXPECT_EQ(label, QSize(0, 340));
    // A short client: 800 x 50 px is 3000 x 187 units, so the tape width decides across.
    EXPECT_EQ(LabelExtent(label, 0, ClientUnits(QSize(800, 50), kL, 1.0, kScreen, kScreen)),
              QSize(3000, 340));
    EXPECT_EQ(LabelExtent(LabelSize(tw, tl, 1), 0, ClientUnits(QSize(80, 500), kL, 1.0, kScreen, kScreen)),
              QSize(340, 1875));
}

TEST(Layout, LeadingEdgeRuleOnBothAxes)
{
    // A label 2000 units square with no margin in a 1000 x 1000 px client at 100 %: centring at
    // 1000 - 500 = 500 px would hide the edges at 0, so each position goes to 0 (never below).
    const ScrollLayout a = ComputeScrollLayout(QSize(4000, 4000), QSize(4000, 4000), QSize(1000, 1000), kL,
                                               1.0, kScreen, kScreen);
    EXPECT_EQ(a.pos, QPoint(0, 0));
    // With a margin of 300 units (80 px): the label starts 80 px in, so the position is 56 on both axes.
    const ScrollLayout b = ComputeScrollLayout(QSize(4600, 4600), QSize(4000, 4000), QSize(1000, 1000), kL,
                                               1.0, kScreen, kScreen);
    EXPECT_NEAR(b.lx, 80.0, 1e-9);
    EXPECT_EQ(b.pos, QPoint(56, 56));
}

TEST(Layout, PageShorterAreaStartsMAfterTheLeadingEdge)
{
    // A page longer along the tape than the scrolling area: placed m after the area's leading edge.
    EXPECT_EQ(WindowOrigin(2, 340, QSize(2000, 1020), QSize(2500, 340)), QPoint(-340, -510));
    EXPECT_EQ(WindowOrigin(1, 340, QSize(1020, 2000), QSize(340, 2500)), QPoint(-510, -340));
    // Odd halves truncate toward zero.
    EXPECT_EQ(WindowOrigin(2, 10, QSize(101, 51), QSize(50, 20)), QPoint(-25, -25));
    EXPECT_EQ(PageDestination(1, QSize(341, 1417)), QRect(-170, 0, 341, 1417));
}

struct BarsCase {
    const char *name;
    QSize total;
    bool bHorz, bVert;
    QSize client, range;
};

void PrintTo(const BarsCase &c, std::ostream *os)
{
    *os << c.name;
}

class Bars : public ::testing::TestWithParam<BarsCase> {};

TEST_P(Bars, ShownWhenTheTotalExceedsTheRoom)
{
    const BarsCase &c = GetParam();
    const ScrollBars bars = ComputeScrollBars(c.total, QSize(800, 500), 15, 12);
    EXPECT_EQ(bars.bHorz, c.bHorz);
    EXPECT_EQ(bars.bVert, c.bVert);
    EXPECT_EQ(bars.client, c.client);
    EXPECT_EQ(bars.range, c.range);
}

INSTANTIATE_TEST_SUITE_P(
    Room, Bars,
    ::testing::Values(
        BarsCase{"exact_fit", QSize(800, 500), false, false, QSize(800, 500), QSize(0, 0)},
        BarsCase{"vert_forces_horz", QSize(800, 559), true, true, QSize(785, 488), QSize(15, 71)},
        BarsCase{"vert_only", QSize(785, 559), false, true, QSize(785, 500), QSize(0, 59)},
        BarsCase{"horz_only", QSize(1000, 488), true, false, QSize(800, 488), QSize(200, 0)},
        BarsCase{"horz_forces_vert", QSize(1000, 489), true, true, QSize(785, 488), QSize(215, 1)},
        BarsCase{"both", QSize(1126, 547), true, true, QSize(785, 488), QSize(341, 59)}),
    [](const ::testing::TestParamInfo<BarsCase> &param) { return std::string(param.param.name); });

} // namespace
