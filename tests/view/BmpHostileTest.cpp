// Files that are not BMPs, are cut short, lie about their sizes, or are not regular files: each load
// fails with its reason and leaves nothing behind, or decodes without touching memory it does not own.
#include "BmpBuilder.h"

#include "view/BmpDecoder.h"
#include "view/PageImage.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <functional>
#include <string>

#include <sys/stat.h>

namespace {

void Set32(std::vector<uchar> &f, size_t at, quint32 v)
{
    for (int k = 0; k < 4; ++k)
        f[at + size_t(k)] = uchar(v >> (8 * k));
}

void Set16(std::vector<uchar> &f, size_t at, quint16 v)
{
    f[at] = uchar(v);
    f[at + 1] = uchar(v >> 8);
}

// A good 3 x 2 8-bit file with a 4-entry colour table: 54 bytes of headers, 16 of table, 8 of pixels.
std::vector<uchar> GoodFile()
{
    CBmpBuilder b;
    b.nBits = 8;
    b.palette = {qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3), qRgb(4, 4, 4)};
    b.SetRows({{0, 1, 2}, {3, 2, 1}});
    return b.Build();
}

struct CHostileCase {
    const char *name;
    std::function<void(std::vector<uchar> &)> spoil;
    int nResult;
};

void PrintTo(const CHostileCase &c, std::ostream *os)
{
    *os << c.name;
}

class BmpHostileTest : public ::testing::TestWithParam<CHostileCase> {};

TEST_P(BmpHostileTest, FailsWithItsReason)
{
    std::vector<uchar> file = GoodFile();
    GetParam().spoil(file);
    CBmpBitmap bitmap;
    const int nResult = DecodeBmp(file.data(), file.size(), bitmap);
    EXPECT_EQ(nResult, GetParam().nResult);
    if (nResult != BMP_OK) {
        EXPECT_EQ(bitmap.pixels, nullptr);
        EXPECT_EQ(bitmap.nWidth, 0);
    }
}

const CHostileCase kHostileCases[] = {
    {"asBuilt", [](std::vector<uchar> &) {}, BMP_OK},
    {"empty", [](std::vector<uchar> &f) { f.clear(); }, BMP_ERR_HEADER},
    {"pngRenamed",
     [](std::vector<uchar> &f) {
         f = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1};
     },
     BMP_ERR_HEADER},
    {"cutInFileHeader", [](std::vector<uchar> &f) { f.resize(10); }, BMP_ERR_HEADER},
    {"cutInInfoHeader", [](std::vector<uchar> &f) { f.resize(30); }, BMP_ERR_HEADER},
    {"headerSize66", [](std::vector<uchar> &f) { Set32(f, 14, 66); }, BMP_ERR_HEADER},
    {"headerSizeHuge", [](std::vector<uchar> &f) { Set32(f, 14, 0xFFFFFFF0u); }, BMP_ERR_HEADER},
    {"bits3", [](std::vector<uchar> &f) { Set16(f, 28, 3); }, BMP_ERR_FORMAT},
    {"bits30000", [](std::vector<uchar> &f) { Set16(f, 28, 30000); }, BMP_ERR_FORMAT},
    {"bits0", [](std::vector<uchar> &f) { Set16(f, 28, 0); }, BMP_ERR_FORMAT},
    {"planes2", [](std::vector<uchar> &f) { Set16(f, 26, 2); }, BMP_ERR_FORMAT},
    {"jpeg", [](std::vector<uchar> &f) { Set32(f, 30, 4); }, BMP_ERR_FORMAT},
    {"png", [](std::vector<uchar> &f) { Set32(f, 30, 5); }, BMP_ERR_FORMAT},
    {"compression7", [](std::vector<uchar> &f) { Set32(f, 30, 7); }, BMP_ERR_FORMAT},
    {"bitfieldsOn8Bits", [](std::vector<uchar> &f) { Set32(f, 30, 3); }, BMP_ERR_FORMAT},
    {"os2Huffman",
     [](std::vector<uchar> &f) {
         Set32(f, 14, 64);
         f.insert(f.begin() + 54, 24, 0);
         Set32(f, 30, 3);
         Set16(f, 28, 1);
     },
     BMP_ERR_FORMAT},
    {"widthZero", [](std::vector<uchar> &f) { Set32(f, 18, 0); }, BMP_ERR_SIZE},
    {"widthNegative", [](std::vector<uchar> &f) { Set32(f, 18, quint32(-3)); }, BMP_ERR_SIZE},
    {"heightZero", [](std::vector<uchar> &f) { Set32(f, 22, 0); }, BMP_ERR_SIZE},
    {"heightMostNegative", [](std::vector<uchar> &f) { Set32(f, 22, quint32(INT_MIN)); }, BMP_ERR_SIZE},
    {"reallyBig",
     [](std::vector<uchar> &f) {
         Set32(f, 18, 3000000);
         Set32(f, 22, 2000000);
     },
     BMP_ERR_SIZE},
    {"overTheLimit",
     [](std::vector<uchar> &f) {
         Set32(f, 18, 40000);
         Set32(f, 22, 40000);
     },
     BMP_ERR_SIZE},
    {"offsetPastTheEnd", [](std::vector<uchar> &f) { Set32(f, 10, 5000); }, BMP_ERR_HEADER},
    {"tableReachesPastTheEnd",
     [](std::vector<uchar> &f) {
         Set32(f, 10, 0);
         Set32(f, 46, 200);
     },
     BMP_ERR_HEADER},
    {"pixelsCutShort", [](std::vector<uchar> &f) { f.resize(f.size() - 5); }, BMP_ERR_TRUNCATED},
    {"lastRowPaddingMissing", [](std::vector<uchar> &f) { f.resize(f.size() - 1); }, BMP_OK},
    {"lastRowCutByOne", [](std::vector<uchar> &f) { f.resize(f.size() - 2); }, BMP_ERR_TRUNCATED},
    {"sizeFieldsLie",
     [](std::vector<uchar> &f) {
         Set32(f, 2, 0xFFFFFFFFu);
         Set32(f, 34, 0x7FEEEEEE);
     },
     BMP_OK},
    {"colourCountHuge", [](std::vector<uchar> &f) { Set32(f, 46, 0x12345678); }, BMP_OK},
};

INSTANTIATE_TEST_SUITE_P(Hostile, BmpHostileTest, ::testing::ValuesIn(kHostileCases),
                         [](const ::testing::TestParamInfo<CHostileCase> &param) {
                             return std::string(param.param.name);
                         });

// The limit takes a metre of 36 mm tape at 720 dpi in 24 bits (1021 x 28347): such a header gets past
// the size check to the pixel data, which this file lacks. One that needs more than the limit is
// refused before any allocation, so its cut-short pixel array is never reached.
TEST(BmpLimit, AMetreOf36mmTapeAt720DpiFitsAndMoreIsRefused)
{
    CBmpBuilder b;
    b.nBits = 24;
    b.nWidth = 1021;
    b.nHeight = 28347;
    b.pixels.assign(64, 0);
    std::vector<uchar> file = b.Build();
    CBmpBitmap bitmap;
    EXPECT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_ERR_TRUNCATED);

    const qint64 nStride = ((qint64(b.nWidth) * 24 + 31) / 32) * 4;
    Set32(file, 22, quint32(kBmpMaxDecodedBytes / nStride + 1));
    EXPECT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_ERR_SIZE);
}

// Every prefix of every kind of file decodes or fails: none reads past the bytes it was given (the
// sanitizer build turns an over-read into a failure).
TEST(BmpHostile, EveryPrefixFailsOrDecodes)
{
    // Each file with the shortest prefix that still decodes: the last row may lack its padding, and an
    // RLE stream whose last end-of-line completes the top row needs no end-of-bitmap.
    std::vector<std::pair<std::vector<uchar>, size_t>> files;
    const std::vector<uchar> good = GoodFile();
    files.emplace_back(good, good.size() - 1);
    CBmpBuilder rle;
    rle.nBits = 4;
    rle.nCompression = 2;
    rle.nWidth = 5;
    rle.nHeight = 3;
    rle.palette.assign(16, qRgb(9, 9, 9));
    rle.pixels = {3, 0x12, 0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 2, 1, 1, 4, 0xAB, 0, 0, 0, 1};
    const std::vector<uchar> rleFile = rle.Build();
    files.emplace_back(rleFile, rleFile.size() - 2);
    CBmpBuilder fields;
    fields.nHeaderSize = 124;
    fields.nBits = 16;
    fields.nCompression = 3;
    fields.masks = {0xF00, 0xF0, 0xF, 0xF000};
    fields.SetRows({{1, 2, 3}, {4, 5, 6}});
    const std::vector<uchar> fieldsFile = fields.Build();
    files.emplace_back(fieldsFile, fieldsFile.size() - 2);
    for (const auto &[file, nShortest] : files) {
        for (size_t n = 0; n <= file.size(); ++n) {
            std::vector<uchar> prefix(file.begin(), file.begin() + std::ptrdiff_t(n));
            CBmpBitmap bitmap;
            const int nResult = DecodeBmp(prefix.data(), prefix.size(), bitmap);
            EXPECT_EQ(nResult == BMP_OK, n >= nShortest)
                << "prefix " << n << " of " << file.size() << " gives " << nResult;
        }
    }
}

class BmpFileTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    QString Path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    void Write(const QString &path, const std::vector<uchar> &bytes) const
    {
        std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
};

TEST_F(BmpFileTest, NotRegularFilesFailAtOnce)
{
    ASSERT_TRUE(m_dir.isValid());
    const QString fifo = Path("page_00001.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString dir = Path("page_00002.bmp");
    ASSERT_TRUE(QDir().mkdir(dir));
    const QString empty = Path("page_00003.bmp");
    Write(empty, {});

    const auto start = std::chrono::steady_clock::now();
    CBmpBitmap bitmap;
    EXPECT_EQ(ReadBmpFile(fifo, bitmap), BMP_ERR_FILE);
    EXPECT_EQ(ReadBmpFile(dir, bitmap), BMP_ERR_FILE);
    EXPECT_EQ(ReadBmpFile(Path("page_00004.bmp"), bitmap), BMP_ERR_FILE);
    EXPECT_EQ(ReadBmpFile(QString(), bitmap), BMP_ERR_FILE);
    EXPECT_EQ(ReadBmpFile(empty, bitmap), BMP_ERR_HEADER);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(BmpFileTest, AFailedLoadAfterAGoodOneEmptiesTheImage)
{
    const QString good = Path("good.bmp");
    Write(good, GoodFile());
    std::vector<uchar> bad = GoodFile();
    bad.resize(bad.size() - 5);
    const QString cut = Path("cut.bmp");
    Write(cut, bad);

    CPageImage image;
    EXPECT_TRUE(image.IsNull());
    ASSERT_TRUE(image.Load(good));
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(image.GetColorTable().size(), 256);
    EXPECT_FALSE(image.Load(cut));
    EXPECT_EQ(image.GetLoadResult(), BMP_ERR_TRUNCATED);
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_EQ(image.GetHeight(), 0);
    EXPECT_EQ(image.GetBPP(), 0);
    EXPECT_TRUE(image.GetColorTable().isEmpty());
    EXPECT_TRUE(image.Image().isNull());
}

TEST_F(BmpFileTest, ACopyOfTheDrawingImageOutlivesTheRelease)
{
    const QString good = Path("good.bmp");
    Write(good, GoodFile());
    CPageImage image;
    ASSERT_TRUE(image.Load(good));
    const QImage kept = image.Image();
    image.Destroy();
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(kept.pixel(2, 1), qRgb(2, 2, 2));
}

} // namespace
