// The loupe's arithmetic against the worked job (360 dpi, 24 mm tape across the screen, a page of
// 1417 x 340 dots, an 800 x 500 client area on a 96-dpi screen), and the view's scrolling keys.
#include "view/LoupeGeometry.h"
#include "view/KeyScroll.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace LoupeGeometry;

namespace {

ViewState WorkedJob(double dScale, const QSize &extent, const QPoint &scroll)
{
    ViewState v;
    v.nOrientation = 2;
    v.nTapeWidthMm = 24;
    v.nTapeLengthMm = 100;
    v.nLogUnitsPerInch = 360;
    v.nDpi = 360;
    v.image = QSize(1417, 340);
    v.extent = extent;
    v.dScale = dScale;
    v.scroll = scroll;
    return v;
}

// At 100 % the page spans about pixels 211 to 589 across and 205 to 295 down.
TEST(LoupeGeometryTest, PageRectAtOneHundredPercent)
{
    const ViewState v = WorkedJob(1.0, QSize(3000, 1875), QPoint(0, 0));
    EXPECT_EQ(PageDeviceRect(v, 1.0), QRect(QPoint(211, 205), QPoint(588, 294)));
    EXPECT_NEAR(ViewDevicePixelsPerDot(v, 1.0), 96.0 / 360.0, 1e-12);
    // Twice the device pixels on a screen of device pixel ratio 2.
    // round(791 x 192 / 360) = 422, round(2208 x 192 / 360) = 1178; round(767 x 192 / 360) = 409,
    // round(1107 x 192 / 360) = 590.
    EXPECT_EQ(PageDeviceRect(v, 2.0), QRect(QPoint(422, 409), QPoint(1177, 589)));
}

// At 400 % the view scrolls to (338, 294): the label's left edge shows about 25 pixels in.
TEST(LoupeGeometryTest, PageRectFollowsTheScrollPositions)
{
    const ViewState v = WorkedJob(4.0, QSize(2097, 1020), QPoint(338, 294));
    const QRect page = PageDeviceRect(v, 1.0);
    EXPECT_EQ(page.left(), 25);
    // The page's top at (510 - 170) logical units: round(340 x 384 / 360) = 363, less 294.
    EXPECT_EQ(page.top(), 363 - 294);
    EXPECT_NEAR(ViewDevicePixelsPerDot(v, 1.0), 384.0 / 360.0, 1e-12);
    ViewState empty = v;
    empty.image = QSize();
    EXPECT_TRUE(PageDeviceRect(empty, 1.0).isEmpty());
}

struct Spread {
    int nDevice; // the page's width in device pixels
    int nDots;   // the image's width in dots
};

void PrintTo(const Spread &s, std::ostream *os)
{
    *os << s.nDots << " dots on " << s.nDevice << " pixels";
}

class DotAtTest : public ::testing::TestWithParam<Spread> {};

// Across the page the dots come in order and each pixel shows a dot whose span holds the pixel's
// centre: [d x W / n, (d + 1) x W / n) contains x + 0.5. A page drawn larger than its dots shows every
// dot. Left and right of the page lie outside it.
TEST_P(DotAtTest, DotsInOrderAcrossThePage)
{
    const Spread s = GetParam();
    const QRect page(30, 10, s.nDevice, 40);
    const QSize image(s.nDots, 7);
    int previous = -1;
    std::vector<bool> seen(size_t(s.nDots), false);
    for (int x = page.left(); x <= page.right(); ++x) {
        const int d = DotAt(QPointF(x + 0.25, 12.0), 1.0, page, image).x();
        ASSERT_GE(d, previous);
        ASSERT_GE(d, 0);
        ASSERT_LT(d, s.nDots);
        const double centre = x - page.left() + 0.5;
        EXPECT_LE(double(d) * s.nDevice / s.nDots, centre) << x;
        EXPECT_GT(double(d + 1) * s.nDevice / s.nDots, centre) << x;
        seen[size_t(d)] = true;
        previous = d;
    }
    EXPECT_LT(DotAt(QPointF(page.left() - 1, 12.0), 1.0, page, image).x(), 0);
    EXPECT_GE(DotAt(QPointF(page.right() + 1, 12.0), 1.0, page, image).x(), s.nDots);
    if (s.nDevice >= s.nDots) {
        for (int d = 0; d < s.nDots; ++d)
            EXPECT_TRUE(seen[size_t(d)]) << "dot " << d;
    }
}

INSTANTIATE_TEST_SUITE_P(Spreads, DotAtTest,
                         ::testing::Values(Spread{378, 1417}, Spread{1511, 1417}, Spread{1417, 1417},
                                           Spread{2834, 1417}, Spread{7, 3}, Spread{1, 1}));

struct MagnificationCase {
    int nLensDevice;
    double dViewPerDot;
    int nExpected;
};

void PrintTo(const MagnificationCase &c, std::ostream *os)
{
    *os << c.nLensDevice << " px lens, " << c.dViewPerDot << " view px per dot -> " << c.nExpected;
}

class MagnificationTest : public ::testing::TestWithParam<MagnificationCase> {};

TEST_P(MagnificationTest, WholeAndAtLeastFour)
{
    const MagnificationCase &c = GetParam();
    EXPECT_EQ(Magnification(c.nLensDevice, c.dViewPerDot), c.nExpected);
}

// 252 / 21 = 12 pixels per dot on a full lens; never below 4, at least twice what the view shows,
// at most 64.
INSTANTIATE_TEST_SUITE_P(Cases, MagnificationTest,
                         ::testing::Values(MagnificationCase{252, 96.0 / 360.0, 12},
                                           MagnificationCase{252, 1.6, 12}, MagnificationCase{252, 7.0, 14},
                                           MagnificationCase{504, 0.5, 24}, MagnificationCase{120, 0.3, 5},
                                           MagnificationCase{80, 0.3, 4}, MagnificationCase{0, 0.0, 4},
                                           MagnificationCase{252, 40.0, 64},
                                           MagnificationCase{252, 1e12, 64}));

TEST(LoupeGeometryTest, LensStaysInsideTheViewport)
{
    EXPECT_EQ(LensRect(QPoint(400, 250), QSize(800, 500)), QRect(274, 124, 252, 252));
    EXPECT_EQ(LensRect(QPoint(5, 495), QSize(800, 500)), QRect(0, 248, 252, 252));
    EXPECT_EQ(LensRect(QPoint(799, 0), QSize(800, 500)), QRect(548, 0, 252, 252));
    // Limited to the smaller side of a small window.
    EXPECT_EQ(LensRect(QPoint(50, 30), QSize(300, 120)), QRect(0, 0, 120, 120));
    EXPECT_TRUE(LensRect(QPoint(0, 0), QSize(0, 100)).isEmpty());
}

TEST(LoupeGeometryTest, OddDotsAcrossSoThePointersDotIsInTheMiddle)
{
    EXPECT_EQ(DotsAcross(252, 12), 21);
    EXPECT_EQ(DotsAcross(252, 4), 63);
    EXPECT_EQ(DotsAcross(96, 4), 23);
    EXPECT_EQ(DotsAcross(3, 4), 1);
    EXPECT_EQ(DotsAcross(100, 0), 1);
}

struct KeyCase {
    int nKey;
    bool bHorz;
    bool bVert;
    QSize delta;
};

void PrintTo(const KeyCase &c, std::ostream *os)
{
    *os << "key 0x" << std::hex << c.nKey << std::dec << (c.bHorz ? " h" : "") << (c.bVert ? " v" : "");
}

class KeyScrollTest : public ::testing::TestWithParam<KeyCase> {};

// Line steps (11, 5), page steps (112, 54); the view sits at (40, 30) of (300, 200).
TEST_P(KeyScrollTest, Delta)
{
    const KeyCase &c = GetParam();
    QSize delta(-999, -999);
    ASSERT_TRUE(KeyScroll(c.nKey, c.bHorz, c.bVert, QSize(11, 5), QSize(112, 54), QPoint(40, 30),
                          QSize(300, 200), delta));
    EXPECT_EQ(delta, c.delta);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyScrollTest,
    ::testing::Values(
        KeyCase{Qt::Key_Down, true, true, {0, 5}}, KeyCase{Qt::Key_Up, true, true, {0, -5}},
        KeyCase{Qt::Key_Right, true, true, {11, 0}}, KeyCase{Qt::Key_Left, true, true, {-11, 0}},
        KeyCase{Qt::Key_PageDown, true, true, {0, 54}}, KeyCase{Qt::Key_PageUp, true, true, {0, -54}},
        KeyCase{Qt::Key_Home, true, true, {0, -30}}, KeyCase{Qt::Key_End, true, true, {0, 170}},
        // Only a horizontal bar: the page keys go across, like the wheel.
        KeyCase{Qt::Key_PageDown, true, false, {112, 0}}, KeyCase{Qt::Key_PageUp, true, false, {-112, 0}},
        KeyCase{Qt::Key_Home, true, false, {-40, 0}}, KeyCase{Qt::Key_End, true, false, {260, 0}},
        KeyCase{Qt::Key_Down, true, false, {0, 5}}, KeyCase{Qt::Key_PageDown, false, true, {0, 54}},
        KeyCase{Qt::Key_PageDown, false, false, {0, 54}}));

TEST(KeyScrollOtherTest, OtherKeysAreNotScrolling)
{
    QSize delta(7, 7);
    EXPECT_FALSE(KeyScroll(Qt::Key_Space, true, true, QSize(1, 1), QSize(10, 10), QPoint(), QSize(), delta));
    EXPECT_FALSE(KeyScroll(Qt::Key_Escape, true, true, QSize(1, 1), QSize(10, 10), QPoint(), QSize(), delta));
    EXPECT_EQ(delta, QSize(7, 7));
}

} // namespace
