// Every header, depth, compression and row order, built byte by byte, decoded to exact colours.
#include "BmpBuilder.h"

#include "view/BmpDecoder.h"
#include "view/PageImage.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

constexpr quint32 BI_RGB = 0, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

// A 3 x 2 image: six raw pixel values and the colour each must show.
struct CFormatCase {
    const char *name;
    int nBits;
    quint32 nCompression;
    std::vector<quint32> masks;
    int nPaletteSize; // entries written to the file's colour table (indexed cases)
    int nDecodedBits;
    bool bAlpha;
    QImage::Format eFormat;
    std::vector<quint64> raw;
    std::vector<QRgb> expected;
};

QRgb TestPaletteEntry(int i)
{
    return qRgb(i * 7 % 256, 255 - i, i * 3 % 256);
}

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kBlue = qRgb(0, 0, 255);

std::vector<CFormatCase> FormatCases()
{
    auto pal = [](std::initializer_list<int> idx, int count) {
        std::vector<QRgb> v;
        for (int i : idx)
            v.push_back(i < count ? TestPaletteEntry(i) : kBlack);
        return v;
    };
    const std::vector<quint32> rgb555 = {0x7C00, 0x03E0, 0x001F};
    const std::vector<quint32> std32 = {0xFF0000, 0x00FF00, 0x0000FF};
    const std::vector<quint32> std32a = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};
    // clang-format off
    return {
        {"pal1", 1, BI_RGB, {}, 2, 1, false, QImage::Format_Mono, {0, 1, 1, 0, 1, 0}, pal({0, 1, 1, 0, 1, 0}, 2)},
        {"pal1short", 1, BI_RGB, {}, 1, 1, false, QImage::Format_Mono, {0, 1, 1, 0, 1, 0}, pal({0, 1, 1, 0, 1, 0}, 1)},
        {"pal2", 2, BI_RGB, {}, 4, 32, false, QImage::Format_RGB32, {0, 1, 2, 3, 3, 0}, pal({0, 1, 2, 3, 3, 0}, 4)},
        {"pal4", 4, BI_RGB, {}, 12, 4, false, QImage::Format_Indexed8, {0, 5, 11, 15, 3, 12}, pal({0, 5, 11, 15, 3, 12}, 12)},
        {"pal8", 8, BI_RGB, {}, 252, 8, false, QImage::Format_Indexed8, {0, 7, 251, 252, 255, 100}, pal({0, 7, 251, 252, 255, 100}, 252)},
        {"rgb555", 16, BI_RGB, {}, 0, 16, false, QImage::Format_RGB555, {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x0C63, 0x801F},
         {kWhite, kRed, kGreen, kBlue, qRgb(25, 25, 25), kBlue}},
        {"bf555", 16, BI_BITFIELDS, rgb555, 0, 16, false, QImage::Format_RGB555, {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x0C63, 0xFFFF},
         {kWhite, kRed, kGreen, kBlue, qRgb(25, 25, 25), kWhite}},
        {"bf565", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0, 16, false, QImage::Format_RGB16, {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0861, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(8, 12, 8), kBlack}},
        {"bf4444", 16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0, 32, true, QImage::Format_RGB32, {0xFFFF, 0x0F00, 0x00F0, 0x000F, 0x1234, 0x0888},
         {kWhite, kRed, kGreen, kBlue, qRgb(34, 51, 68), qRgb(136, 136, 136)}},
        {"bf231", 16, BI_BITFIELDS, {0x30, 0x0E, 0x01}, 0, 32, false, QImage::Format_RGB32, {0x3F, 0x30, 0x0E, 0x01, 0x12, 0x40},
         {kWhite, kRed, kGreen, kBlue, qRgb(85, 36, 0), kBlack}},
        {"bf880", 16, BI_BITFIELDS, {0xFF00, 0x00FF, 0}, 0, 32, false, QImage::Format_RGB32, {0xFFFF, 0xFF00, 0x00FF, 0, 0x8040, 0x0102},
         {qRgb(255, 255, 0), kRed, kGreen, kBlack, qRgb(128, 64, 0), qRgb(1, 2, 0)}},
        {"rgb24", 24, BI_RGB, {}, 0, 24, false, QImage::Format_BGR888, {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        {"bf24", 24, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}, 0, 32, false, QImage::Format_RGB32, {0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x563412, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        {"rgb32", 32, BI_RGB, {}, 0, 32, false, QImage::Format_RGB32, {0xFFFFFFFF, 0x00FF0000, 0x1200FF00, 0x000000FF, 0xAB123456, 0x01000000},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        {"bf32std", 32, BI_BITFIELDS, std32, 0, 32, false, QImage::Format_RGB32, {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xAB123456, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        {"bf32bgr", 32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}, 0, 32, false, QImage::Format_RGB32, {0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x563412, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        {"bf32argb", 32, BI_BITFIELDS, std32a, 0, 32, true, QImage::Format_RGB32, {0xFFFFFFFF, 0x00FF0000, 0x8000FF00, 0x000000FF, 0x80123456, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        {"bf32_1010102", 32, BI_BITFIELDS, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, 0, 32, true, QImage::Format_RGB32,
         {0x3FFFFFFF, 0x3FF00000, 0x000FFC00, 0x000003FF, 0x20000000, 0xC0000000},
         {kWhite, kRed, kGreen, kBlue, qRgb(128, 0, 0), kBlack}},
        {"abf32", 32, BI_ALPHABITFIELDS, std32a, 0, 32, true, QImage::Format_RGB32, {0xFFFFFFFF, 0x00FF0000, 0x8000FF00, 0x000000FF, 0x80123456, 0},
         {kWhite, kRed, kGreen, kBlue, qRgb(0x12, 0x34, 0x56), kBlack}},
        // 64 bits: blue, green, red, alpha as signed 2.13 linear light; 0x1000 is 0.5, sRGB 188.
        {"rgba64", 64, BI_RGB, {}, 0, 32, true, QImage::Format_RGB32,
         {0x2000200020002000ull, 0x2000200000000000ull, 0x2000000020000000ull, 0x0000000000002000ull, 0x2000100010001000ull, 0x2000F00030000000ull},
         {kWhite, kRed, kGreen, kBlue, qRgb(188, 188, 188), kGreen}},
    };
    // clang-format on
}

struct CFormatParam {
    CFormatCase c;
    int nHeaderSize;
    bool bTopDown;
};

void PrintTo(const CFormatParam &p, std::ostream *os)
{
    *os << p.c.name << " header " << p.nHeaderSize << (p.bTopDown ? " top-down" : " bottom-up");
}

std::vector<CFormatParam> FormatParams()
{
    std::vector<CFormatParam> params;
    for (const CFormatCase &c : FormatCases()) {
        std::vector<int> headers;
        if (c.nCompression == BI_ALPHABITFIELDS)
            headers = {40};
        else if (c.nCompression == BI_BITFIELDS)
            headers =
                c.masks.size() == 4 ? std::vector<int>{56, 108, 124} : std::vector<int>{40, 52, 56, 108, 124};
        else if (c.nBits <= 8 || c.nBits == 24)
            headers = {12, 16, 40, 64, 108, 124};
        else
            headers = {16, 40, 64, 108, 124};
        for (int h : headers) {
            for (bool td : {false, true}) {
                if (h == 12 && td)
                    continue; // the core header's height is unsigned
                params.push_back({c, h, td});
            }
        }
    }
    return params;
}

std::vector<uchar> BuildCase(const CFormatParam &p)
{
    CBmpBuilder b;
    b.nHeaderSize = p.nHeaderSize;
    b.nBits = p.c.nBits;
    b.nCompression = p.c.nCompression;
    // A 40-byte header carries its masks after it; larger ones inside, 52 bytes only three of them.
    b.masks = p.c.masks;
    if (p.nHeaderSize == 52 && b.masks.size() > 3)
        b.masks.resize(3);
    for (int i = 0; i < p.c.nPaletteSize; ++i)
        b.palette.push_back(TestPaletteEntry(i));
    b.nHeight = p.bTopDown ? -2 : 2;
    b.SetRows({{p.c.raw[0], p.c.raw[1], p.c.raw[2]}, {p.c.raw[3], p.c.raw[4], p.c.raw[5]}});
    return b.Build();
}

class BmpFormatTest : public ::testing::TestWithParam<CFormatParam> {};

TEST_P(BmpFormatTest, DecodesToExactColours)
{
    const CFormatParam &p = GetParam();
    const std::vector<uchar> file = BuildCase(p);
    CBmpBitmap bitmap;
    ASSERT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_OK);
    EXPECT_EQ(bitmap.nBits, p.c.nDecodedBits);
    EXPECT_EQ(bitmap.bAlpha, p.c.bAlpha);

    const uchar *pDecoded = bitmap.pixels.get();
    CPageImage image;
    ASSERT_TRUE(image.Attach(std::move(bitmap)));
    // The drawing image wraps the decoded pixels; only a 4-bit page is widened into a buffer of its own.
    if (p.c.nDecodedBits != 4) {
        EXPECT_EQ(image.Image().constBits(), pDecoded);
    }
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(image.GetBPP(), p.c.nDecodedBits);
    EXPECT_EQ(image.IsAlpha(), p.c.bAlpha);
    EXPECT_EQ(image.Image().format(), p.c.eFormat);
    EXPECT_EQ(image.GetColorTable().size(), p.c.nDecodedBits <= 8 ? qsizetype(1) << p.c.nDecodedBits : 0);

    const QImage rgb = image.ToRgb888();
    ASSERT_EQ(rgb.format(), QImage::Format_RGB888);
    for (int i = 0; i < 6; ++i) {
        const int x = i % 3, y = i / 3;
        EXPECT_EQ(rgb.pixel(x, y), p.c.expected[size_t(i)]) << "pixel " << i;
        // What the view draws: opaque, and the same colour (Qt widens 16-bit channels by bit
        // replication, which may differ from exact scaling by one step).
        const QRgb drawn = image.Image().pixel(x, y);
        EXPECT_EQ(qAlpha(drawn), 255) << "pixel " << i;
        if (p.c.nDecodedBits != 16)
            EXPECT_EQ(drawn, p.c.expected[size_t(i)]) << "pixel " << i;
        else
            EXPECT_NEAR(qRed(drawn), qRed(p.c.expected[size_t(i)]), 1) << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, BmpFormatTest, ::testing::ValuesIn(FormatParams()),
                         [](const ::testing::TestParamInfo<CFormatParam> &param) {
                             return std::string(param.param.c.name) + "_h" +
                                    std::to_string(param.param.nHeaderSize) +
                                    (param.param.bTopDown ? "_topdown" : "_bottomup");
                         });

TEST(BmpFormat, AlphaIsKeptInTheDecodedBitmapAndMarked)
{
    CBmpBuilder b;
    b.nHeaderSize = 124;
    b.nBits = 32;
    b.nCompression = BI_BITFIELDS;
    b.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    b.SetRows({{0x80123456, 0x00FFFFFF}});
    const std::vector<uchar> file = b.Build();
    CBmpBitmap bitmap;
    ASSERT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_OK);
    ASSERT_TRUE(bitmap.bAlpha);
    EXPECT_EQ(bitmap.Row(0)[3], 0x80);
    EXPECT_EQ(bitmap.Row(0)[7], 0x00);
}

// The colour count of 0 means 2^bits; a count larger than the table is cut to 2^bits; an offset of 0
// puts the pixels right after the table; an odd offset with a gap is followed; an offset pointing into
// the headers is not trusted.
struct COffsetCase {
    const char *name;
    qint64 nColorsUsed;
    int nGap;
    qint64 nOffBits; // -1: as built
};

void PrintTo(const COffsetCase &c, std::ostream *os)
{
    *os << c.name;
}

class BmpOffsetTest : public ::testing::TestWithParam<COffsetCase> {};

TEST_P(BmpOffsetTest, FindsPaletteAndPixels)
{
    const COffsetCase &c = GetParam();
    CBmpBuilder b;
    b.nBits = 4;
    for (int i = 0; i < 16; ++i)
        b.palette.push_back(qRgb(i * 16, i, 255 - i));
    b.nColorsUsed = c.nColorsUsed;
    b.nGap = c.nGap;
    b.nOffBits = c.nOffBits;
    b.SetRows({{1, 15, 7}});
    const std::vector<uchar> file = b.Build();
    CBmpBitmap bitmap;
    ASSERT_EQ(DecodeBmp(file.data(), file.size(), bitmap), BMP_OK);
    EXPECT_EQ(bitmap.Row(0)[0], 0x1F);
    EXPECT_EQ(bitmap.Row(0)[1] >> 4, 7);
    EXPECT_EQ(bitmap.palette[15], qRgb(240, 15, 240));
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, BmpOffsetTest,
    ::testing::Values(COffsetCase{"count0", 0, 0, -1}, COffsetCase{"count16", 16, 0, -1},
                      COffsetCase{"countHuge", 0x12345678, 0, -1}, COffsetCase{"offBitsZero", 16, 0, 0},
                      COffsetCase{"oddGap", 16, 3, -1}, COffsetCase{"offIntoHeader", 16, 0, 20}),
    [](const ::testing::TestParamInfo<COffsetCase> &param) { return std::string(param.param.name); });

} // namespace
