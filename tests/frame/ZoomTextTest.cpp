// Tests of the zoom box's text: typed zooms, the displayed text and the list's steps.
#include "frame/ZoomText.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

const QString kWholeLabel = QStringLiteral("ﾗﾍﾞﾙ全体を表示");

struct ZoomTextCase {
    const char16_t *text;
    bool accepted;
    int value;
};

void PrintTo(const ZoomTextCase &c, std::ostream *os)
{
    *os << '"' << QString::fromUtf16(c.text).toStdString() << '"';
}

class ZoomTextTest : public ::testing::TestWithParam<ZoomTextCase> {};

TEST_P(ZoomTextTest, ReadsTypedZoom)
{
    const ZoomTextCase &c = GetParam();
    int value = 12345;
    EXPECT_EQ(ParseZoomText(QString::fromUtf16(c.text), kWholeLabel, value), c.accepted);
    EXPECT_EQ(value, c.accepted ? c.value : 12345);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZoomTextTest,
    ::testing::Values(ZoomTextCase{u"150", true, 150}, ZoomTextCase{u"100%", true, 100},
                      ZoomTextCase{u"%100", true, 100}, ZoomTextCase{u"  100  ", true, 100},
                      ZoomTextCase{u"\u3000100\t%\u3000", true, 100}, ZoomTextCase{u"25", true, 25},
                      ZoomTextCase{u"600", true, 600}, ZoomTextCase{u"0600", true, 600},
                      ZoomTextCase{u"1 00", false, 0}, ZoomTextCase{u"+100", false, 0},
                      ZoomTextCase{u"100.5", false, 0}, ZoomTextCase{u"24", false, 0},
                      ZoomTextCase{u"601", false, 0}, ZoomTextCase{u"99999999999999999999", false, 0},
                      ZoomTextCase{u"", false, 0}, ZoomTextCase{u"%", false, 0},
                      ZoomTextCase{u"\uFF11\uFF15\uFF10", false, 0}, ZoomTextCase{u"-100", false, 0},
                      ZoomTextCase{u"ﾗﾍﾞﾙ全体を表示", true, -1}, ZoomTextCase{u" ﾗﾍﾞﾙ全体を表示", false, 0},
                      ZoomTextCase{u"ﾗﾍﾞﾙ全体を表示%", false, 0}));

TEST(ZoomText, WholeLabelIgnoresOnlyLatinCase)
{
    int value = 0;
    EXPECT_TRUE(ParseZoomText(u"Whole", u"WHOLE", value));
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(EqualsIgnoringLatinCase(u"Fit 100%", u"fIT 100%"));
    EXPECT_FALSE(EqualsIgnoringLatinCase(u"\u00C4", u"\u00E4"));
    EXPECT_FALSE(EqualsIgnoringLatinCase(u"\uFF21", u"\uFF41"));
    EXPECT_FALSE(EqualsIgnoringLatinCase(u"abc", u"abcd"));
}

TEST(ZoomText, DisplayText)
{
    EXPECT_EQ(ZoomDisplayText(130, kWholeLabel), QStringLiteral("130%"));
    EXPECT_EQ(ZoomDisplayText(-1, kWholeLabel), kWholeLabel);
}

// The step table of the zoom list, worked out by hand from the entry positions.
struct StepCase {
    int zoomBefore;
    int steps;
    int index;
};

void PrintTo(const StepCase &c, std::ostream *os)
{
    *os << "zoom " << c.zoomBefore << " steps " << c.steps << " -> entry " << c.index;
}

class StepZoomIndexTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepZoomIndexTest, SelectsEntry)
{
    const std::vector<int> presets = {600, 400, 300, 200, 150, 100, 75, 50, 25, -1};
    const StepCase &c = GetParam();
    EXPECT_EQ(StepZoomIndex(presets, c.zoomBefore, c.steps), c.index)
        << "zoom " << c.zoomBefore << " steps " << c.steps;
}

INSTANTIATE_TEST_SUITE_P(Table, StepZoomIndexTest,
                         ::testing::Values(StepCase{100, 1, 4}, StepCase{100, -1, 6}, StepCase{100, 2, 3},
                                           StepCase{100, 0, 5}, StepCase{130, 1, 4}, StepCase{130, -1, 5},
                                           StepCase{130, 0, 4}, StepCase{-1, 1, 8}, StepCase{-1, 2, 7},
                                           StepCase{-1, -1, 8}, StepCase{-1, 0, 8}, StepCase{600, 1, 0},
                                           StepCase{600, -1, 1}, StepCase{25, -1, 8}, StepCase{25, 1, 7},
                                           StepCase{100, 50, 0}, StepCase{100, -50, 8},
                                           StepCase{100, 2147483647, 0}, StepCase{100, -2147483647 - 1, 8},
                                           StepCase{700, -1, 0}, StepCase{10, 1, 8}));

TEST(StepZoomIndex, ShortListsHaveNoStep)
{
    EXPECT_EQ(StepZoomIndex({}, 100, 1), -1);
    EXPECT_EQ(StepZoomIndex({-1}, 100, 1), -1);
    EXPECT_EQ(StepZoomIndex({100, -1}, 100, 3), 0);
}

} // namespace
