// The header-only size reader: byte-built headers, the public corpus against the full decoder, and
// files that are not regular.
#include "BmpBuilder.h"

#include "view/BmpDecoder.h"
#include "view/BmpHeader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>

#include <ostream>

#include <sys/stat.h>

namespace {

struct HeaderCase {
    const char *name;
    int nHeaderSize;
    int nWidth;
    int nHeight;
    int nPlanes;
    size_t nCutTo; // 0: the whole file
    int nResult;
    QSize size;
};

void PrintTo(const HeaderCase &c, std::ostream *os)
{
    *os << c.name;
}

class BmpHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(BmpHeaderTest, Parses)
{
    const HeaderCase &c = GetParam();
    CBmpBuilder b;
    b.nHeaderSize = c.nHeaderSize;
    b.nBits = 1;
    b.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    b.nPlanes = c.nPlanes;
    b.nWidth = c.nWidth;
    b.nHeight = c.nHeight;
    std::vector<uchar> file = b.Build();
    if (c.nCutTo != 0)
        file.resize(c.nCutTo);
    CBmpHeaderInfo info;
    EXPECT_EQ(ParseBmpHeader(file.data(), qsizetype(file.size()), info), c.nResult);
    EXPECT_EQ(QSize(info.nWidth, info.nHeight), c.size);
}

// No pixel data at all: the headers alone give the size.
INSTANTIATE_TEST_SUITE_P(
    Cases, BmpHeaderTest,
    ::testing::Values(HeaderCase{"info", 40, 1417, 340, 1, 0, BMP_OK, {1417, 340}},
                      HeaderCase{"core", 12, 300, 20, 1, 0, BMP_OK, {300, 20}},
                      HeaderCase{"v5", 124, 5, 7, 1, 0, BMP_OK, {5, 7}},
                      HeaderCase{"os2v2_short", 16, 9, 4, 1, 0, BMP_OK, {9, 4}},
                      HeaderCase{"top_down", 40, 8, -6, 1, 0, BMP_OK, {8, 6}},
                      HeaderCase{"cut_in_info_header", 40, 8, 6, 1, 27, BMP_ERR_HEADER, {0, 0}},
                      HeaderCase{"cut_in_file_header", 40, 8, 6, 1, 10, BMP_ERR_HEADER, {0, 0}},
                      HeaderCase{"unknown_header_size", 44, 8, 6, 1, 0, BMP_ERR_HEADER, {0, 0}},
                      HeaderCase{"two_planes", 40, 8, 6, 2, 0, BMP_ERR_FORMAT, {0, 0}},
                      HeaderCase{"zero_width", 40, 0, 6, 1, 0, BMP_ERR_SIZE, {0, 0}},
                      HeaderCase{"negative_width", 40, -8, 6, 1, 0, BMP_ERR_SIZE, {0, 0}},
                      HeaderCase{"too_tall", 40, 8, (1 << 20) + 1, 1, 0, BMP_ERR_SIZE, {0, 0}}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(BmpHeaderFileTest, NotABmp)
{
    const uchar text[] = "PK\x03\x04 not a bitmap at all, long enough to be read";
    CBmpHeaderInfo info;
    EXPECT_EQ(ParseBmpHeader(text, sizeof text, info), BMP_ERR_HEADER);
}

// Every file of the public corpus that the decoder reads gives the decoder's size from its headers.
TEST(BmpHeaderFileTest, AgreesWithTheDecoderOnTheCorpus)
{
    const QString suite = QString::fromUtf8(CORVANE_BMPSUITE_DIR);
    if (!QDir(suite).exists())
        GTEST_SKIP() << "no corpus at " << suite.toStdString();
    int compared = 0;
    QDirIterator it(suite, {QStringLiteral("*.bmp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        CBmpBitmap bitmap;
        if (ReadBmpFile(path, bitmap) != BMP_OK)
            continue;
        CBmpHeaderInfo info;
        ASSERT_EQ(ReadBmpHeader(path, info), BMP_OK) << path.toStdString();
        EXPECT_EQ(info.nWidth, bitmap.nWidth) << path.toStdString();
        EXPECT_EQ(info.nHeight, bitmap.nHeight) << path.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 50);
}

TEST(BmpHeaderFileTest, OnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CBmpHeaderInfo info;
    EXPECT_EQ(ReadBmpHeader(dir.path(), info), BMP_ERR_FILE);
    EXPECT_EQ(ReadBmpHeader(dir.filePath(QStringLiteral("missing.bmp")), info), BMP_ERR_FILE);
    // A FIFO with no writer: opening it must not block.
    const QString fifo = dir.filePath(QStringLiteral("page.bmp"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ReadBmpHeader(fifo, info), BMP_ERR_FILE);
}

// A page whose pixels are cut short still has its size: the headers are all that is read.
TEST(BmpHeaderFileTest, ReadsNoMoreThanTheHeaders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CBmpBuilder b;
    b.nBits = 1;
    b.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    b.nWidth = 1417;
    b.nHeight = 340;
    std::vector<uchar> bytes = b.Build();
    bytes.resize(kBmpHeaderReadBytes);
    const QString path = dir.filePath(QStringLiteral("cut.bmp"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    file.close();
    CBmpHeaderInfo info;
    EXPECT_EQ(ReadBmpHeader(path, info), BMP_OK);
    EXPECT_EQ(QSize(info.nWidth, info.nHeight), QSize(1417, 340));
    CBmpBitmap bitmap;
    EXPECT_NE(ReadBmpFile(path, bitmap), BMP_OK);
}

} // namespace
