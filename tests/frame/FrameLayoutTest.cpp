#include "frame/DialogUnits.h"
#include "frame/PaneWidth.h"

#include <gtest/gtest.h>

namespace {

TEST(PaneWidth, TableWidthsAndTheQuarterScreen)
{
    EXPECT_EQ(PaneWidthFromTable(140, 1366), 140);
    EXPECT_EQ(PaneWidthFromTable(0, 1366), 341);
    EXPECT_EQ(PaneWidthFromTable(-5, 1366), 341);
    EXPECT_EQ(PaneWidthFromTable(0, 1920), 480);
    EXPECT_EQ(PaneWidthFromTable(0, 3), 0);
}

TEST(PaneWidth, TextWidthPlusFourAverageCharacters)
{
    EXPECT_EQ(PaneWidthForText(97, 11), 129);
    EXPECT_EQ(PaneWidthForText(10, 11), 10);
    EXPECT_EQ(PaneWidthForText(110, 11), 150);
    EXPECT_EQ(PaneWidthForText(50, 0), 50);
}

TEST(DialogUnits, BaseUnitsRoundTheAverageWidth)
{
    // 52 letters 312 pixels wide: 6 pixels each; 338 pixels: 6.5, rounded to 7.
    EXPECT_EQ(DialogBaseUnitsFor(312, 12).cx, 6);
    EXPECT_EQ(DialogBaseUnitsFor(338, 12).cx, 7);
    EXPECT_EQ(DialogBaseUnitsFor(337, 12).cx, 6);
    EXPECT_EQ(DialogBaseUnitsFor(337, 12).cy, 12);
}

TEST(DialogUnits, MapsRectanglesWithRounding)
{
    const DialogBaseUnits units{6, 12};
    // 170 x 62 units: 170 * 6 / 4 = 255, 62 * 12 / 8 = 93.
    EXPECT_EQ(MapDialogRect(QRect(0, 0, 170, 62), units), QRect(0, 0, 255, 93));
    // 113 * 6 / 4 = 169.5 -> 170; 41 * 12 / 8 = 61.5 -> 62; 50 -> 75; 14 -> 21.
    EXPECT_EQ(MapDialogRect(QRect(113, 41, 50, 14), units), QRect(170, 62, 75, 21));
    EXPECT_EQ(MapDialogRect(QRect(1, 1, 1, 1), DialogBaseUnits{7, 13}), QRect(2, 2, 2, 2));
}

} // namespace
