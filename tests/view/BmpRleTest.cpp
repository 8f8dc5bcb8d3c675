// RLE8 and RLE4 streams: runs, literal runs with their padding, end of line, end of bitmap, moves, and
// streams that run past the image or end too early.
#include "BmpBuilder.h"

#include "view/BmpDecoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr quint32 BI_RLE8 = 1, BI_RLE4 = 2;

std::vector<uchar> RleFile(int nBits, int w, int h, std::vector<uchar> stream)
{
    CBmpBuilder b;
    b.nBits = nBits;
    b.nCompression = nBits == 8 ? BI_RLE8 : BI_RLE4;
    b.nWidth = w;
    b.nHeight = h;
    for (int i = 0; i < (1 << nBits); ++i)
        b.palette.push_back(qRgb(i, i, i));
    b.pixels = std::move(stream);
    return b.Build();
}

// The decoded rows, top-down, one index per pixel.
std::vector<std::vector<int>> Indices(const CBmpBitmap &bitmap)
{
    std::vector<std::vector<int>> rows;
    for (int y = 0; y < bitmap.nHeight; ++y) {
        std::vector<int> row;
        for (int x = 0; x < bitmap.nWidth; ++x) {
            const uchar byte = bitmap.Row(y)[bitmap.nBits == 8 ? x : x / 2];
            row.push_back(bitmap.nBits == 8 ? byte : (x & 1) ? byte & 15 : byte >> 4);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(BmpRle, Rle8RunsLiteralsMovesAndClipping)
{
    const std::vector<uchar> file = RleFile(8, 6, 3, {3,  5,             // bottom row: 5 5 5
                                                      0,  3, 1, 2, 3, 0, // literal 1 2 3, padded to even
                                                      0,  0,             // end of line
                                                      0,  2, 2, 1, // move right 2, up 1: row 1 stays index 0
                                                      2,  9,       // top row from x = 2: 9 9
                                                      10, 4,       // a run past the right edge is cut there
                                                      0,  1});
    CBmpBitmap bitmap;
    ASSERT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_OK);
    ASSERT_EQ(bitmap.nBits, 8);
    const std::vector<std::vector<int>> expected = {
        {0, 0, 9, 9, 4, 4}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 1, 2, 3}};
    EXPECT_EQ(Indices(bitmap), expected);
}

TEST(BmpRle, Rle4NibblesAndOddLiterals)
{
    const std::vector<uchar> file = RleFile(4, 7, 2,
                                            {5, 0x12,                   // 1 2 1 2 1
                                             0, 0,                      //
                                             0, 5, 0x34, 0x56, 0x70, 0, // literal 3 4 5 6 7, 3 bytes + pad
                                             1, 0xF0,                   // one pixel: the high nibble
                                             0, 1});
    CBmpBitmap bitmap;
    ASSERT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_OK);
    ASSERT_EQ(bitmap.nBits, 4);
    const std::vector<std::vector<int>> expected = {{3, 4, 5, 6, 7, 15, 0}, {1, 2, 1, 2, 1, 0, 0}};
    EXPECT_EQ(Indices(bitmap), expected);
}

struct CRleCase {
    const char *name;
    int nBits;
    std::vector<uchar> stream;
    int nResult;
};

void PrintTo(const CRleCase &c, std::ostream *os)
{
    *os << c.name;
}

class BmpRleEndTest : public ::testing::TestWithParam<CRleCase> {};

TEST_P(BmpRleEndTest, EndsAsTheStreamSays)
{
    const CRleCase &c = GetParam();
    const std::vector<uchar> file = RleFile(c.nBits, 4, 2, c.stream);
    CBmpBitmap bitmap;
    EXPECT_EQ(DecodeBmp(file.data(), file.size(), bitmap), c.nResult);
    EXPECT_EQ(bitmap.pixels == nullptr, c.nResult != BMP_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, BmpRleEndTest,
    ::testing::Values(CRleCase{"earlyEndOfBitmap", 8, {2, 7, 0, 1}, BMP_OK},
                      CRleCase{"endOfLineOnTheLastRow", 8, {4, 1, 0, 0, 4, 2, 0, 0}, BMP_OK},
                      CRleCase{"moveOffTheTop", 8, {0, 2, 0, 200, 4, 4}, BMP_OK},
                      CRleCase{"moveFarRight", 4, {0, 2, 255, 0, 255, 3, 0, 1}, BMP_OK},
                      CRleCase{"rowsPastTheTop", 8, {0, 0, 0, 0, 0, 0, 0, 0, 9, 9}, BMP_OK},
                      CRleCase{
                          "literalPastTheRightEdge", 8, {0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1}, BMP_OK},
                      CRleCase{"noEndOfBitmap", 8, {4, 1, 0, 0, 2, 2}, BMP_ERR_TRUNCATED},
                      CRleCase{"literalCutShort", 8, {0, 6, 1, 2}, BMP_ERR_TRUNCATED},
                      CRleCase{"moveCutShort", 4, {0, 2, 1}, BMP_ERR_TRUNCATED},
                      CRleCase{"oneByte", 8, {4}, BMP_ERR_TRUNCATED}),
    [](const ::testing::TestParamInfo<CRleCase> &param) { return std::string(param.param.name); });

TEST(BmpRle, TopDownStreamIsRefused)
{
    std::vector<uchar> file = RleFile(8, 4, 2, {0, 1});
    file[22] = 0xFE; // height -2
    file[23] = file[24] = file[25] = 0xFF;
    CBmpBitmap bitmap;
    EXPECT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_ERR_FORMAT);
}

TEST(BmpRle, RleNeedsItsDepth)
{
    std::vector<uchar> file = RleFile(8, 4, 2, {0, 1});
    file[30] = 2; // RLE4 on an 8-bit header
    CBmpBitmap bitmap;
    EXPECT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_ERR_FORMAT);
}

} // namespace
