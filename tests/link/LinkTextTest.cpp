// The link's text rules: cuts between UTF-8 characters, page-file names, message names.
#include "link/LinkMessages.h"
#include "link/PageFileName.h"
#include "link/Utf8.h"

#include <gtest/gtest.h>

namespace {

struct CCut {
    const char *text;
    qsizetype limit;
    const char *kept;
};

// "é" is 2 bytes, "あ" 3, "😀" 4; \xff is no sequence and counts as a character of its own; a cut
// sequence (\xe3\x81 without its last byte) is two such bytes.
const CCut kCuts[] = {
    {"label", 3, "lab"},           {"label", 9, "label"},
    {"caf\xc3\xa9", 4, "caf"},     {"caf\xc3\xa9", 5, "caf\xc3\xa9"},
    {"\xe3\x81\x82x", 2, ""},      {"\xe3\x81\x82x", 3, "\xe3\x81\x82"},
    {"a\xf0\x9f\x98\x80", 4, "a"}, {"a\xff-", 2, "a\xff"},
    {"\xe3\x81", 1, "\xe3"},       {"abc", 0, ""},
};

TEST(LinkText, Utf8LeftCutsBetweenCharacters)
{
    for (const CCut &cut : kCuts)
        EXPECT_EQ(Utf8Left(QByteArray(cut.text), cut.limit), QByteArray(cut.kept))
            << cut.text << " at " << cut.limit;
}

TEST(LinkText, PageFileNamesFromTheStem)
{
    const QString format = PageFileFormat(QStringLiteral("/tmp/job/label"));
    EXPECT_EQ(format, QStringLiteral("/tmp/job/label_%05d.bmp"));
    EXPECT_EQ(PageFilePattern(QStringLiteral("/tmp/job/label")), QStringLiteral("/tmp/job/label_*.bmp"));
    EXPECT_EQ(PageFileName(format, 12), QStringLiteral("/tmp/job/label_00012.bmp"));
    EXPECT_EQ(PageNumberAt(format), format.size() - 8);
}

TEST(LinkText, MessageNames)
{
    EXPECT_EQ(DriverMessageName(WM_PREVIEW_CLOSE), QStringLiteral("WM_PREVIEW_CLOSE"));
    EXPECT_EQ(DriverMessageName(0x8006), QStringLiteral("0x8006"));
    EXPECT_EQ(DriverKindName(3), QStringLiteral("reply"));
    EXPECT_EQ(DriverKindName(9), QStringLiteral("kind 9"));
}

} // namespace
