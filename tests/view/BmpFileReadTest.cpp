// Reading a page file: files longer than the first read have their rows read straight into place
// (top-down in one read, short bottom-up rows through a buffer, long ones one read per row) or are read
// whole; each way must give exactly what decoding the same bytes in memory gives.
#include "BmpBuilder.h"

#include "view/BmpDecoder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct CReadCase {
    const char *name;
    int nBits;
    quint32 nCompression;
    std::vector<quint32> masks;
    int nWidth;
    int nHeight; // negative: top-down
};

void PrintTo(const CReadCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<uchar> BuildFile(const CReadCase &c)
{
    CBmpBuilder b;
    b.nHeaderSize = c.masks.size() > 3 ? 124 : 40;
    b.nBits = c.nBits;
    b.nCompression = c.nCompression;
    b.masks = c.masks;
    if (c.nBits <= 8) {
        for (int i = 0; i < (1 << c.nBits); ++i)
            b.palette.push_back(qRgb(i, 255 - i, i / 2));
    }
    b.nHeight = c.nHeight;
    const int h = c.nHeight < 0 ? -c.nHeight : c.nHeight;
    std::vector<std::vector<quint64>> rows(size_t(h), std::vector<quint64>(size_t(c.nWidth)));
    quint64 seed = 99;
    const quint64 mask = c.nBits == 64 ? ~quint64(0) : (quint64(1) << c.nBits) - 1;
    for (auto &row : rows) {
        for (quint64 &v : row) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            v = (seed >> 17) & mask;
        }
    }
    b.SetRows(rows);
    return b.Build();
}

class BmpFileReadTest : public ::testing::TestWithParam<CReadCase> {
protected:
    QTemporaryDir m_dir;
    QString WriteFile(const std::vector<uchar> &bytes) const
    {
        const QString path = m_dir.filePath(QStringLiteral("page_00001.bmp"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return path;
    }
};

TEST_P(BmpFileReadTest, GivesWhatDecodingInMemoryGives)
{
    const std::vector<uchar> file = BuildFile(GetParam());
    ASSERT_GT(file.size(), size_t(64 * 1024)) << "must be longer than the first read";
    CBmpBitmap want;
    ASSERT_EQ(DecodeBmp(file.data(), file.size(), want), BMP_OK);
    CBmpBitmap got;
    ASSERT_EQ(ReadBmpFile(WriteFile(file), got), BMP_OK);
    EXPECT_EQ(got.nWidth, want.nWidth);
    EXPECT_EQ(got.nHeight, want.nHeight);
    EXPECT_EQ(got.nBits, want.nBits);
    EXPECT_EQ(got.bAlpha, want.bAlpha);
    EXPECT_EQ(got.b565, want.b565);
    ASSERT_EQ(got.nStride, want.nStride);
    EXPECT_EQ(got.palette, want.palette);
    for (int y = 0; y < want.nHeight; ++y)
        ASSERT_EQ(std::memcmp(got.Row(y), want.Row(y), size_t(want.nStride)), 0) << "row " << y;
}

TEST_P(BmpFileReadTest, ALastRowWithoutPaddingReadsAndAShortOneFails)
{
    std::vector<uchar> file = BuildFile(GetParam());
    const qint64 nPad = (4 - (qint64(GetParam().nWidth) * GetParam().nBits + 7) / 8 % 4) % 4;
    file.resize(file.size() - size_t(nPad));
    CBmpBitmap bitmap;
    EXPECT_EQ(ReadBmpFile(WriteFile(file), bitmap), BMP_OK);
    file.resize(file.size() - 1);
    EXPECT_EQ(ReadBmpFile(WriteFile(file), bitmap), BMP_ERR_TRUNCATED);
    EXPECT_EQ(bitmap.pixels, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, BmpFileReadTest,
    ::testing::Values(
        CReadCase{"pal1ShortRowsBottomUp", 1, 0, {}, 510, 1500},
        CReadCase{"pal1TopDown", 1, 0, {}, 509, -1500}, CReadCase{"pal4ShortRows", 4, 0, {}, 333, 500},
        CReadCase{"pal8LongRowsBottomUp", 8, 0, {}, 1417, 60},
        CReadCase{"pal8LongRowsTopDown", 8, 0, {}, 1417, -60},
        CReadCase{"rgb24LongRows", 24, 0, {}, 1001, 30}, CReadCase{"rgb24ShortRows", 24, 0, {}, 97, 300},
        CReadCase{"rgb555LongRows", 16, 0, {}, 1023, 40}, CReadCase{"rgb555ShortRows", 16, 0, {}, 101, 400},
        CReadCase{"rgb565", 16, 3, {0xF800, 0x07E0, 0x001F}, 700, 60},
        CReadCase{"rgb32LongRows", 32, 0, {}, 400, 60}, CReadCase{"rgb32ShortRows", 32, 0, {}, 100, 200},
        CReadCase{"argb32", 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 300, 70},
        CReadCase{"fields4444ReadWhole", 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, 300, 150},
        CReadCase{"pal2ReadWhole", 2, 0, {}, 1000, 300}),
    [](const ::testing::TestParamInfo<CReadCase> &param) { return std::string(param.param.name); });

} // namespace
