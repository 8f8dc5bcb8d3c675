// Tests of the string table, the formats filled from it and the page file names.
#include "res/StringTable.h"
#include "app/PageFiles.h"
#include "res/Format.h"
#include "res/Resource.h"

#include <gtest/gtest.h>

namespace {

QString Q(const char16_t *text)
{
    return QString::fromUtf16(text);
}

TEST(StringTable, HoldsTheTextsExactly)
{
    EXPECT_EQ(LoadResString(AFX_IDS_APP_TITLE), Q(u"印刷プレビュー"));
    EXPECT_EQ(LoadResString(IDS_ERR_JOB_FILE),
              Q(u"印刷プレビュー用ファイルの読み込みでエラーが発生しました\uFF08%d\uFF09。"));
    EXPECT_EQ(LoadResString(IDS_ZOOM_WHOLE_LABEL), Q(u"\uFF97\uFF8D\uFF9E\uFF99全体を表示"));
    EXPECT_EQ(LoadResString(IDS_CONFIRM_CANCEL), Q(u"印刷を中止します。\nよろしいですか？"));
    EXPECT_EQ(LoadResString(ID_INDICATOR_BLANK), Q(u" "));
    EXPECT_TRUE(LoadResString(12345).isEmpty());
}

TEST(StringTable, TooltipIsTheTextAfterTheLineBreak)
{
    EXPECT_EQ(ResTooltipLabel(ID_FILE_PRINT), Q(u"印刷を開始します。"));
    EXPECT_EQ(ResTooltipLabel(ID_APP_ABOUT), Q(u"バージョン情報"));
    EXPECT_EQ(ResTooltipLabel(ID_INDICATOR_PAGE), Q(u"表示ページ"));
}

TEST(FormatString, FillsTheFormatsOfTheStringTable)
{
    EXPECT_EQ(FormatResString(IDS_ERR_JOB_FILE, {267}),
              Q(u"印刷プレビュー用ファイルの読み込みでエラーが発生しました\uFF08267\uFF09。"));
    EXPECT_EQ(FormatResString(IDS_PANE_PAGE_FORMAT, {LoadResString(ID_INDICATOR_PAGE), 2, 5}),
              Q(u"表示ページ : 2/5"));
    EXPECT_EQ(FormatString(u"%d%%", {130}), QStringLiteral("130%"));
    EXPECT_EQ(FormatString(u"%05d", {7}), QStringLiteral("00007"));
    EXPECT_EQ(FormatString(u"%05d", {123456}), QStringLiteral("123456"));
    EXPECT_EQ(FormatString(u"%05d", {-3}), QStringLiteral("-0003"));
    EXPECT_EQ(FormatString(u"%d", {-2147483647 - 1}), QStringLiteral("-2147483648"));
}

TEST(FormatString, NeverReadsAnArgumentAsAFormat)
{
    EXPECT_EQ(FormatString(u"%s - %s", {Q(u"印刷プレビュー"), QStringLiteral("100%s %d")}),
              Q(u"印刷プレビュー - 100%s %d"));
    EXPECT_EQ(FormatString(u"%s : %s", {QStringLiteral("a"), QString()}), QStringLiteral("a : "));
}

TEST(FormatString, LeavesUnknownOrUnfilledDirectivesAsText)
{
    EXPECT_EQ(FormatString(u"%x %d", {5}), QStringLiteral("%x 5"));
    EXPECT_EQ(FormatString(u"%d %d", {5}), QStringLiteral("5 %d"));
    EXPECT_EQ(FormatString(u"50%", {}), QStringLiteral("50%"));
}

TEST(PageFileName, SubstitutesOnlyTheTemplatesDirective)
{
    EXPECT_EQ(PageFileName(QStringLiteral("/t/p_%05d.bmp"), 1), QStringLiteral("/t/p_00001.bmp"));
    EXPECT_EQ(PageFileName(QStringLiteral("/t/p_%05d.bmp"), 42), QStringLiteral("/t/p_00042.bmp"));
    EXPECT_EQ(PageFileName(QStringLiteral("/t/p_%05d.bmp"), 123456), QStringLiteral("/t/p_123456.bmp"));
    EXPECT_EQ(PageFileName(QStringLiteral("/100%d/%05d_%s_%05d.bmp"), 7),
              QStringLiteral("/100%d/%05d_%s_00007.bmp"));
}

} // namespace
