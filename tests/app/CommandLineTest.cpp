// The command-line scan and the handle's reading.
#include "app/CommandLine.h"
#include "support/ParamPrint.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct ScanCase {
    const char *name;
    QStringList arguments;
    const char *ini;
    const char *handle;
};

void PrintTo(const ScanCase &c, std::ostream *os)
{
    *os << c.name;
}

class ScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, FindsPathAndHandle)
{
    const CommandLineArgs args = ScanCommandLine(GetParam().arguments);
    EXPECT_EQ(args.strIniPath, QString::fromUtf8(GetParam().ini));
    EXPECT_EQ(args.strHandle, QString::fromUtf8(GetParam().handle));
}

QStringList L(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanTest,
    ::testing::Values(
        ScanCase{"none", L({}), "", ""},
        ScanCase{"both", L({"/INI=C:\\j.ini", "/HWND=1A2B"}), "C:\\j.ini", "1A2B"},
        ScanCase{"lowerCaseIgnored", L({"/ini=C:\\j.ini", "/hwnd=1A2B"}), "", ""},
        ScanCase{"laterReplaces", L({"/INI=a.ini", "/INI=b.ini", "/HWND=1A2B"}), "b.ini", "1A2B"},
        ScanCase{"stopsOnceBothKnown", L({"/INI=a.ini", "/HWND=1A2B", "/INI=b.ini"}), "a.ini", "1A2B"},
        ScanCase{"emptyRestEmpties", L({"/INI=a.ini", "/INI=", "/HWND=1A2B"}), "", "1A2B"},
        ScanCase{"emptyRestKeepsScanning", L({"/HWND=", "/INI=a", "x", "/HWND=5", "/HWND=6"}), "a", "5"},
        ScanCase{"othersIgnored", L({"-x", "/INIT=a", "INI=b", "/HWND=7"}), "", "7"},
        ScanCase{"blanksKept", L({"/INI= a b ", "/HWND= 1"}), " a b ", " 1"},
        ScanCase{"restMayHoldEquals", L({"/INI=/INI=x", "/HWND=/HWND=y"}), "/INI=x", "/HWND=y"}),
    [](const ::testing::TestParamInfo<ScanCase> &param) { return std::string(param.param.name); });

struct HandleCase {
    const char *text;
    quint64 expected;
};

void PrintTo(const HandleCase &c, std::ostream *os)
{
    ParamPrint::Quoted(c.text, os);
    *os << " -> 0x" << QString::number(c.expected, 16).toUpper().toStdString();
}

class HandleTest : public ::testing::TestWithParam<HandleCase> {};

TEST_P(HandleTest, ReadsBase16)
{
    EXPECT_EQ(ParseHandle(QString::fromUtf8(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandleTest,
    ::testing::Values(HandleCase{"1A2B", 0x1A2B}, HandleCase{"1a2b", 0x1A2B}, HandleCase{"0x1A2B", 0x1A2B},
                      HandleCase{"0X1a2b", 0x1A2B}, HandleCase{"zz", 0}, HandleCase{"", 0},
                      HandleCase{"0x", 0}, HandleCase{"0xg", 0}, HandleCase{"  \t7", 7}, HandleCase{"+5", 5},
                      HandleCase{"-1", ~quint64(0)}, HandleCase{"-0x10", quint64(0) - 16},
                      HandleCase{"12g34", 0x12}, HandleCase{"1 2", 1}, HandleCase{"- 1", 0},
                      HandleCase{"0x0x5", 0}, HandleCase{"00000000000000001F", 0x1F},
                      HandleCase{"FFFFFFFFFFFFFFFF", ~quint64(0)},
                      HandleCase{"10000000000000000", ~quint64(0)},
                      HandleCase{"-10000000000000000", ~quint64(0)},
                      HandleCase{"123456789ABCDEF0", 0x123456789ABCDEF0ull}, HandleCase{"\xEF\xBC\x91", 0}));

} // namespace
