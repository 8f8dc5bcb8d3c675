// The command-line scan and the handle's reading.
#include "app/CommandLine.h"
#include "app/JobSettings.h"
#include "app/PageFiles.h"
#include "link/NativePath.h"
#include "support/ParamPrint.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A job folder named in a legacy encoding (CP932 "日本", not UTF-8): the job path comes through the
// command line as its bytes, the job file is read, and the exit processing deletes it.
TEST(JobPathBytes, LegacyEncodedFolderIsReadAndDeleted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray folder = dir.path().toUtf8() + "/\x93\xFA\x96\x7B";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QByteArray job = folder + "/job.ini";
    const QByteArray text = "[DRVSPEC]\nMaxTapeWidth=24\nMaxTapeLength=50\n[BMPFILE]\nFilePath=/tmp/\n"
                            "FileName=x\nCopies=1\nTapeWidth=24mm\nTapeLength=50mm\nDocName=d\nDPI=180\n"
                            "Orientation=1\n";
    const int fd = ::open(job.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.constData(), size_t(text.size())), ssize_t(text.size()));
    ::close(fd);

    QByteArray iniArgument = "/INI=" + job;
    char handle[] = "/HWND=zz";
    char *argv[] = {const_cast<char *>("corvane-preview"), iniArgument.data(), handle, nullptr};
    const CommandLineArgs args = ScanCommandLine(DecodeArguments(3, argv));
    EXPECT_EQ(EncodeNativePath(args.strIniPath), job);

    CJobSettings settings;
    ASSERT_EQ(settings.ReadJobFile(args.strIniPath), 0);
    settings.m_strIniPath = args.strIniPath;
    settings.m_nPageCount = 0;
    DeleteJobFiles(settings);
    EXPECT_NE(::access(job.constData(), F_OK), 0) << "the job file is still there";
    ::rmdir(folder.constData());
}

TEST(JobPathBytes, EveryByteStringSurvivesTheRoundTrip)
{
    const QByteArray samples[] = {
        "plain/ascii",
        "\xE6\x97\xA5\xE6\x9C\xAC",     // valid UTF-8 stays text
        "\x93\xFA\x96\x7B",             // CP932
        "\xED\xB2\x80",                 // an encoded surrogate is not UTF-8
        "\xC0\xAF \xF4\x90\x80\x80",    // overlong, past U+10FFFF
        "\xF0\x9F\x98\x80\x80\xE2\x82", // a valid pair followed by a stray and a cut sequence
    };
    for (const QByteArray &bytes : samples)
        EXPECT_EQ(EncodeNativePath(DecodeNativePath(bytes)), bytes) << bytes.toHex().constData();
    EXPECT_EQ(DecodeNativePath(QByteArray("\xE6\x97\xA5")), QStringLiteral("日"));
}

} // namespace
