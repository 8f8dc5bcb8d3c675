// Tests of the page box's text read as a page number.
#include "frame/PageText.h"

#include <gtest/gtest.h>

#include <QString>

#include <ostream>

namespace {

struct PageTextCase {
    const char16_t *text;
    int value;
};

void PrintTo(const PageTextCase &c, std::ostream *os)
{
    *os << '"' << QString::fromUtf16(c.text).toStdString() << '"';
}

class PageTextTest : public ::testing::TestWithParam<PageTextCase> {};

TEST_P(PageTextTest, ReadsLikeWcstol)
{
    EXPECT_EQ(ParsePageText(QString::fromUtf16(GetParam().text)), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageTextTest,
    ::testing::Values(
        PageTextCase{u"3abc", 3}, PageTextCase{u"-1", -1}, PageTextCase{u"007", 7},
        PageTextCase{u"\uFF13", 3}, PageTextCase{u"", 0}, PageTextCase{u"0", 0}, PageTextCase{u"6", 6},
        PageTextCase{u" \t+12", 12}, PageTextCase{u"\u3000 5", 5}, PageTextCase{u"+-3", 0},
        PageTextCase{u"--3", 0}, PageTextCase{u"- 3", 0}, PageTextCase{u"abc", 0}, PageTextCase{u"1 2", 1},
        PageTextCase{u"\uFF11\uFF12", 12}, PageTextCase{u"\u0661\u0662", 12}, PageTextCase{u"1\u0E52", 12},
        PageTextCase{u"\u1819", 9}, PageTextCase{u"\u181A", 0}, PageTextCase{u"\u00B2", 0},
        PageTextCase{u"\uFF1A", 0}, PageTextCase{u"2147483647", 2147483647},
        PageTextCase{u"2147483648", 2147483647}, PageTextCase{u"99999999999999999999", 2147483647},
        PageTextCase{u"-2147483648", -2147483647 - 1}, PageTextCase{u"-2147483649", -2147483647 - 1},
        PageTextCase{u"-99999999999999999999", -2147483647 - 1}));

// Each run's first and last digit, and the code points just outside it.
TEST(PageText, EveryDigitRun)
{
    const char16_t runs[] = {0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
                             0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};
    for (const char16_t first : runs) {
        EXPECT_EQ(DecimalDigitValue(first), 0) << std::hex << int(first);
        EXPECT_EQ(DecimalDigitValue(char16_t(first + 9)), 9) << std::hex << int(first);
        EXPECT_EQ(DecimalDigitValue(char16_t(first + 10)), -1) << std::hex << int(first);
        EXPECT_EQ(DecimalDigitValue(char16_t(first - 1)), -1) << std::hex << int(first);
    }
}

} // namespace
