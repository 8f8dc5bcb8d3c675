// One wheel message: Ctrl steps the zoom, otherwise lines per notch times the line step, at most one
// page downwards, or one page per message in page mode.
#include "view/ViewGeometry.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace ViewGeometry;

namespace {

struct WheelCase {
    const char *name;
    bool bCtrl, bShift;
    int nDelta;
    bool bHorzBar, bVertBar;
    int nLines;
    QSize line, page;
    bool bZoom;
    int nZoomSteps;
    bool bScroll;
    int nDx, nDy;
};

void PrintTo(const WheelCase &c, std::ostream *os)
{
    *os << c.name;
}

class Wheel : public ::testing::TestWithParam<WheelCase> {};

TEST_P(Wheel, Action)
{
    const WheelCase &c = GetParam();
    const WheelAction a =
        ComputeWheel(c.bCtrl, c.bShift, c.nDelta, c.bHorzBar, c.bVertBar, c.nLines, c.line, c.page);
    EXPECT_EQ(a.bZoom, c.bZoom);
    EXPECT_EQ(a.nZoomSteps, c.nZoomSteps);
    EXPECT_EQ(a.bScroll, c.bScroll);
    EXPECT_EQ(a.nDx, c.nDx);
    EXPECT_EQ(a.nDy, c.nDy);
}

const QSize kLine(11, 5);
const QSize kPage(112, 54);

INSTANTIATE_TEST_SUITE_P(
    Table, Wheel,
    ::testing::Values(
        WheelCase{"ctrl_one_notch", true, false, 120, true, true, 3, kLine, kPage, true, 1, false, 0, 0},
        WheelCase{"ctrl_two_notches", true, false, 240, true, true, 3, kLine, kPage, true, 2, false, 0, 0},
        WheelCase{"ctrl_half_notch", true, false, 60, true, true, 3, kLine, kPage, true, 0, false, 0, 0},
        WheelCase{"ctrl_back", true, false, -120, false, false, 3, kLine, kPage, true, -1, false, 0, 0},
        WheelCase{"ctrl_wins_over_shift", true, true, -240, true, true, 3, kLine, kPage, true, -2, false, 0,
                  0},
        WheelCase{"back_three_lines", false, false, -120, true, true, 3, kLine, kPage, false, 0, true, 0, 15},
        WheelCase{"forward_three_lines", false, false, 120, true, true, 3, kLine, kPage, false, 0, true, 0,
                  -15},
        WheelCase{"twenty_lines_down_one_page", false, false, -120, false, true, 20, QSize(10, 10),
                  QSize(100, 100), false, 0, true, 0, 100},
        WheelCase{"twenty_lines_up_unlimited", false, false, 120, false, true, 20, QSize(10, 10),
                  QSize(100, 100), false, 0, true, 0, -200},
        WheelCase{"page_mode_up", false, false, 120, true, true, -1, kLine, kPage, false, 0, true, 0, -54},
        WheelCase{"page_mode_down", false, false, -120, true, true, -1, kLine, kPage, false, 0, true, 0, 54},
        WheelCase{"page_mode_any_delta", false, false, 7, true, true, -1, kLine, kPage, false, 0, true, 0,
                  -54},
        WheelCase{"page_mode_zero_goes_down", false, false, 0, true, true, -1, kLine, kPage, false, 0, true,
                  0, 54},
        WheelCase{"half_notch_rounds_away", false, false, -60, true, true, 3, kLine, kPage, false, 0, true, 0,
                  10},
        WheelCase{"half_notch_up", false, false, 60, true, true, 3, kLine, kPage, false, 0, true, 0, -10},
        WheelCase{"horizontal_bar_only", false, false, -120, true, false, 3, kLine, kPage, false, 0, true, 33,
                  0},
        WheelCase{"shift_goes_across", false, true, -120, true, true, 3, kLine, kPage, false, 0, true, 33, 0},
        WheelCase{"shift_page_mode_across", false, true, 120, true, true, -1, kLine, kPage, false, 0, true,
                  -112, 0},
        WheelCase{"shift_without_horizontal_bar", false, true, -120, false, true, 3, kLine, kPage, false, 0,
                  false, 0, 0},
        WheelCase{"no_bars", false, false, -120, false, false, 3, kLine, kPage, false, 0, false, 0, 0}),
    [](const ::testing::TestParamInfo<WheelCase> &param) { return std::string(param.param.name); });

} // namespace
