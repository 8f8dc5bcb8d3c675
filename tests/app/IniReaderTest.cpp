// The INI reader against the platform's profile-reading rules, on byte-built files.
#include "app/IniReader.h"
#include "support/ParamPrint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Bytes(const char *text)
{
    return QByteArray(text);
}

QString ReadString(const QByteArray &file, const char *section, const char *key,
                   const QString &fallback = QStringLiteral("<default>"))
{
    return CIniReader::FromBytes(file).GetString(QString::fromUtf8(section), QString::fromUtf8(key), fallback,
                                                 260);
}

struct StringCase {
    const char *name;
    QByteArray file;
    const char *section;
    const char *key;
    const char *expected; // UTF-8
};

void PrintTo(const StringCase &c, std::ostream *os)
{
    *os << c.name;
}

class IniStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(IniStringTest, ReadsValue)
{
    const StringCase &c = GetParam();
    EXPECT_EQ(ReadString(c.file, c.section, c.key), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniStringTest,
    ::testing::Values(
        StringCase{"plain", Bytes("[S]\nk=v\n"), "S", "k", "v"},
        StringCase{"sectionAndKeyIgnoreCase", Bytes("[drvSpec]\nMAXTAPEWIDTH=24\n"), "DRVSPEC",
                   "MaxTapeWidth", "24"},
        StringCase{"blanksTrimmed", Bytes("  [ S ]  \n \t k \t=  v  w \t \n"), "S", "k", "v  w"},
        StringCase{"doubleQuotes", Bytes("[S]\nk=\"a b\"\n"), "S", "k", "a b"},
        StringCase{"singleQuotes", Bytes("[S]\nk='a b'\n"), "S", "k", "a b"},
        StringCase{"blanksInsideQuotesKept", Bytes("[S]\nk=\" a \"\n"), "S", "k", " a "},
        StringCase{"mixedQuotesKept", Bytes("[S]\nk=\"a'\n"), "S", "k", "\"a'"},
        StringCase{"loneQuoteKept", Bytes("[S]\nk=\"\n"), "S", "k", "\""},
        StringCase{"emptyQuotes", Bytes("[S]\nk=\"\"\n"), "S", "k", ""},
        StringCase{"onlyOnePairRemoved", Bytes("[S]\nk=\"\"a\"\"\n"), "S", "k", "\"a\""},
        StringCase{"equalsInValue", Bytes("[S]\nk=a=b\n"), "S", "k", "a=b"},
        StringCase{"trailingCommentIsValue", Bytes("[S]\nk=v ; note\n"), "S", "k", "v ; note"},
        StringCase{"commentLineSkipped", Bytes("[S]\n;k=x\nk=y\n"), "S", "k", "y"},
        StringCase{"hashIsNoComment", Bytes("[S]\n#k=x\nk=y\n"), "S", "#k", "x"},
        StringCase{"firstKeyWins", Bytes("[S]\nk=1\nK=2\n"), "S", "k", "1"},
        StringCase{"firstSectionWins", Bytes("[S]\nk=1\n[s]\nk=2\n"), "S", "k", "1"},
        StringCase{"laterSameSectionNotSearched", Bytes("[S]\na=1\n[S]\nk=2\n"), "S", "k", "<default>"},
        StringCase{"otherSectionNotSearched", Bytes("[T]\nk=1\n[S]\n"), "S", "k", "<default>"},
        StringCase{"keyBeforeAnySection", Bytes("k=1\n[S]\n"), "S", "k", "<default>"},
        StringCase{"keyWithoutEquals", Bytes("[S]\nk\n"), "S", "k", "<default>"},
        StringCase{"emptyValue", Bytes("[S]\nk=\n"), "S", "k", ""},
        StringCase{"headerWithoutCloseRunsToLineEnd", Bytes("[T]\n[ BMPFILE \t\nk=v\n"), "BMPFILE", "k", "v"},
        StringCase{"headerEndsAtFirstBracket", Bytes("[BMPFILE]old]\nk=v\n"), "BMPFILE", "k", "v"},
        StringCase{"valueEndsAtNul", QByteArray("[S]\nk=ab\0cd\n", 12), "S", "k", "ab"},
        StringCase{"crOnly", Bytes("[S]\ra=1\rk=v\r"), "S", "k", "v"},
        StringCase{"crlf", Bytes("[S]\r\na=1\r\nk=v\r\n"), "S", "k", "v"},
        StringCase{"noFinalLineEnd", Bytes("[S]\nk=v"), "S", "k", "v"},
        StringCase{"ctrlZTrimmed", Bytes("[S]\nk=v\x1a"), "S", "k", "v"}),
    [](const ::testing::TestParamInfo<StringCase> &param) { return std::string(param.param.name); });

TEST(IniReader, StringIsCutToCapacity)
{
    const CIniReader ini = CIniReader::FromBytes(Bytes("[S]\nk=\"abcdef\"\n"));
    EXPECT_EQ(ini.GetString(u"S", u"k", QString(), 4), QStringLiteral("abc"));
    EXPECT_EQ(ini.GetString(u"S", u"k", QString(), 0), QString());
    // The cut never leaves half of a surrogate pair behind.
    const CIniReader pair = CIniReader::FromBytes(QByteArray("[S]\nk=ab\xF0\x9F\x98\x80\n"));
    EXPECT_EQ(pair.GetString(u"S", u"k", QString(), 4), QStringLiteral("ab"));
    EXPECT_EQ(pair.GetString(u"S", u"k", QString(), 5).size(), 4);
}

TEST(IniReader, DefaultLosesTrailingBlanks)
{
    EXPECT_EQ(ReadString(Bytes(""), "S", "k", QStringLiteral("one two  ")), QStringLiteral("one two"));
}

struct IntCase {
    const char *value;
    int expected;
};

void PrintTo(const IntCase &c, std::ostream *os)
{
    ParamPrint::Quoted(c.value, os);
    *os << " -> " << c.expected;
}

class IniIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IniIntTest, ReadsAsThePlatform)
{
    const QByteArray file = QByteArray("[S]\nk=") + GetParam().value + "\n";
    EXPECT_EQ(CIniReader::FromBytes(file).GetInt(u"S", u"k", 0), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, IniIntTest,
                         ::testing::Values(IntCase{"5", 5}, IntCase{"+7", 7}, IntCase{"-1", -1},
                                           IntCase{"12abc", 12}, IntCase{"42A94967297", 42},
                                           IntCase{"abc", 0}, IntCase{"B4294967297", 0}, IntCase{"", 0},
                                           IntCase{"0x10", 0}, IntCase{"1 2", 1}, IntCase{"- 5", 0},
                                           IntCase{"\"42\"", 42}, IntCase{"\" 42\"", 42}, IntCase{"007", 7},
                                           IntCase{"2147483647", 2147483647},
                                           IntCase{"2147483648", -2147483647 - 1}, IntCase{"4294967295", -1},
                                           IntCase{"4294967296", 0}, IntCase{"4294967297", 1},
                                           IntCase{"-4294967297", -1}, IntCase{"３", 0}));

TEST(IniReader, IntDefaultOnlyForMissingOrEmpty)
{
    const CIniReader ini = CIniReader::FromBytes(Bytes("[S]\nempty=\nword=x\n"));
    EXPECT_EQ(ini.GetInt(u"S", u"missing", 9), 9);
    EXPECT_EQ(ini.GetInt(u"S", u"empty", 9), 9);
    EXPECT_EQ(ini.GetInt(u"S", u"word", 9), 0);
}

// The same job text in every encoding a driver may write.
QByteArray Utf16(const QString &text, bool bigEndian)
{
    QByteArray bytes;
    bytes.append(bigEndian ? "\xFE\xFF" : "\xFF\xFE", 2);
    for (const QChar ch : text) {
        const char hi = char(ch.unicode() >> 8);
        const char lo = char(ch.unicode() & 0xFF);
        bytes.append(bigEndian ? hi : lo);
        bytes.append(bigEndian ? lo : hi);
    }
    return bytes;
}

const QString kJapanese = QStringLiteral("表示ラベル");

struct EncodingCase {
    const char *name;
    QByteArray file;
};

void PrintTo(const EncodingCase &c, std::ostream *os)
{
    *os << c.name << ": ";
    ParamPrint::HexPrefix(c.file, os);
}

class IniEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(IniEncodingTest, DecodesDocName)
{
    const CIniReader ini = CIniReader::FromBytes(GetParam().file);
    EXPECT_EQ(ini.GetString(u"BMPFILE", u"DocName", QString(), 260), kJapanese);
    EXPECT_EQ(ini.GetInt(u"BMPFILE", u"DPI", 0), 360);
}

const QString kText = QStringLiteral("[BMPFILE]\r\nDocName=") + kJapanese + QStringLiteral("\r\nDPI=360\r\n");
// 表示ラベル in CP932; 表 is 95 5C, a second byte that is also the ASCII backslash.
const QByteArray kCp932("[BMPFILE]\r\nDocName=\x95\x5C\x8E\xA6\x83\x89\x83\x78\x83\x8B\r\nDPI=360\r\n");

INSTANTIATE_TEST_SUITE_P(
    Encodings, IniEncodingTest,
    ::testing::Values(
        EncodingCase{"utf16le", Utf16(kText, false)}, EncodingCase{"utf16be", Utf16(kText, true)},
        EncodingCase{"utf8bom", QByteArray("\xEF\xBB\xBF") + kText.toUtf8()},
        EncodingCase{"utf8", kText.toUtf8()}, EncodingCase{"cp932", kCp932},
        EncodingCase{"cp932lf", QByteArray(kCp932).replace("\r\n", "\n")},
        EncodingCase{"cp932cr", QByteArray(kCp932).replace("\r\n", "\r")},
        EncodingCase{"utf16leCr",
                     Utf16(QString(kText).replace(QStringLiteral("\r\n"), QStringLiteral("\r")), false)}),
    [](const ::testing::TestParamInfo<EncodingCase> &param) { return std::string(param.param.name); });

TEST(IniReader, Cp932BadBytesBecomeReplacementAndDecodingGoesOn)
{
    // 0x80 starts no CP932 character; a lead byte at the very end has lost its second byte.
    const QString text = CIniReader::DecodeText(QByteArray("a\x80\x83\x89z\x83"));
    EXPECT_EQ(text, QStringLiteral("a\uFFFDラz\uFFFD"));
}

TEST(IniReader, Cp932SingleBytes)
{
    // Backslash and tilde stay ASCII; A1..DF are the half-width katakana.
    EXPECT_EQ(CIniReader::DecodeText(QByteArray("C:\\x~\xB1\xDF\x83\x89")),
              QStringLiteral("C:\\x~\uFF71\uFF9Fラ"));
}

TEST(IniReader, Utf16OddByteAndEmptyFile)
{
    EXPECT_EQ(CIniReader::DecodeText(QByteArray("\xFF\xFE"
                                                "a\0b",
                                                5)),
              QStringLiteral("a"));
    EXPECT_EQ(CIniReader::DecodeText(QByteArray()), QString());
}

TEST(IniReader, OverlongUtf8IsNotUtf8)
{
    // C0 AF is an overlong "/": not UTF-8, so the bytes are read as CP932.
    EXPECT_FALSE(CIniReader::DecodeText(QByteArray("\xC0\xAF")).contains(u'/'));
}

class IniFileTest : public ::testing::Test {
protected:
    QString Path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_dir;
};

TEST_F(IniFileTest, ReadsRegularFile)
{
    QFile file(Path("job.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[S]\nk=v\n");
    file.close();
    EXPECT_EQ(CIniReader::FromFile(file.fileName()).GetString(u"S", u"k", QString(), 260),
              QStringLiteral("v"));
}

TEST_F(IniFileTest, MissingFolderAndEmptyPathReadEmpty)
{
    for (const QString &path :
         {Path("absent.ini"), m_dir.path(), QString(), Path("a") + QChar(u'\0') + QStringLiteral("b")}) {
        EXPECT_EQ(CIniReader::FromFile(path).GetString(u"S", u"k", QStringLiteral("-"), 260),
                  QStringLiteral("-"))
            << qPrintable(path);
    }
}

TEST_F(IniFileTest, FifoWithoutWriterReadsEmptyAtOnce)
{
    const QString fifo = Path("job.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CIniReader::FromFile(fifo).GetInt(u"S", u"k", -5), -5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(IniFileTest, UnreadableFileReadsEmpty)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    QFile file(Path("locked.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[S]\nk=1\n");
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::Permissions()));
    EXPECT_EQ(CIniReader::FromFile(file.fileName()).GetInt(u"S", u"k", 0), 0);
}

} // namespace
