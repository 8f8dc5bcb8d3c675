// Tests of the window's layout: pane widths, placement, dialog units and the translation.
#include "frame/DialogUnits.h"
#include "frame/FramePlacement.h"
#include "frame/PaneWidth.h"
#include "frame/ToolkitTranslation.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTemporaryDir>

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

TEST(FramePlacement, ThreeQuartersAtLeastTheContentsWithinTheScreen)
{
    struct Case {
        QRect available;
        QSize contents;
        QRect expected;
    };
    const Case cases[] = {
        {QRect(0, 0, 1366, 768), QSize(930, 250), QRect(171, 96, 1024, 576)},
        // A panel on the left: the area's own origin.
        {QRect(60, 0, 1860, 1080), QSize(930, 250), QRect(292, 135, 1395, 810)},
        // A narrow screen: the contents decide, never beyond the area.
        {QRect(0, 0, 1024, 600), QSize(930, 250), QRect(47, 75, 930, 450)},
        {QRect(0, 0, 800, 600), QSize(930, 500), QRect(0, 50, 800, 500)},
        {QRect(0, 0, 0, 0), QSize(930, 250), QRect(0, 0, 930, 250)},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DefaultFrameRect(c.available, c.contents), c.expected)
            << c.available.width() << "x" << c.available.height();
}

// Qt's Japanese catalogue when it is there; a folder without it changes nothing.
TEST(ToolkitTranslation, JapaneseFromQtsFolderOnly)
{
    int argc = 1;
    char name[] = "test";
    char *argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    QTemporaryDir empty;
    EXPECT_FALSE(InstallToolkitTranslation(empty.path()));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Yes"));
    ASSERT_TRUE(InstallToolkitTranslation())
        << "qtbase_ja.qm missing in " << QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString()
        << " (package qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Paste"), QStringLiteral("貼り付け(&P)"));
    EXPECT_TRUE(InstallToolkitTranslation(empty.path())); // installed once
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
