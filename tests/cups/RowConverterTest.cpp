// The conversion of raster rows into the rows the agent shows: each case gives a layout, one raw row
// and the row expected, worked out by hand from the meaning of the colour space.
#include "filter/RowConverter.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <ostream>

namespace {

struct RowCase {
    const char *name;
    RasterLayout layout;
    QByteArray in;
    quint32 wireBits; // 0: refused
    QByteArray out;
};

void PrintTo(const RowCase &c, std::ostream *os)
{
    *os << c.name;
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

RasterLayout Layout(quint32 space, quint32 bitsPerColor, quint32 bitsPerPixel, quint32 width,
                    quint32 order = RasterLayout::CHUNKED)
{
    RasterLayout l;
    l.colorSpace = space;
    l.colorOrder = order;
    l.bitsPerColor = bitsPerColor;
    l.bitsPerPixel = bitsPerPixel;
    l.width = width;
    return l;
}

QByteArray Native16(std::initializer_list<quint16> values)
{
    QByteArray out;
    for (quint16 v : values)
        out.append(reinterpret_cast<const char *>(&v), 2);
    return out;
}

class RowConverterTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(RowConverterTest, Converts)
{
    const RowCase &c = GetParam();
    CRowConverter converter;
    QString why;
    const bool ok = converter.Setup(c.layout, &why);
    ASSERT_EQ(ok, c.wireBits != 0) << why.toStdString();
    if (!ok) {
        EXPECT_FALSE(why.isEmpty());
        return;
    }
    EXPECT_EQ(converter.WireBits(), c.wireBits);
    ASSERT_EQ(converter.WireRowBytes(), static_cast<quint64>(c.out.size()));
    QByteArray out(c.out.size(), '\x5a');
    converter.Convert(reinterpret_cast<const uchar *>(c.in.constData()),
                      reinterpret_cast<uchar *>(out.data()));
    EXPECT_EQ(out.toHex(' '), c.out.toHex(' '));
}

using L = RasterLayout;

INSTANTIATE_TEST_SUITE_P(
    Layouts, RowConverterTest,
    ::testing::Values(
        // One channel. K is ink (1 = black, 255 = full ink); W and SW are light (0 = black).
        RowCase{"K1_KeepsInk", Layout(L::K, 1, 1, 12), Bytes({0xf0, 0x30}), 1, Bytes({0xf0, 0x30})},
        RowCase{"W1_InvertsToInk", Layout(L::W, 1, 1, 12), Bytes({0xf0, 0x3f}), 1, Bytes({0x0f, 0xc0})},
        RowCase{"SW1_InvertsToInk", Layout(L::SW, 1, 1, 8), Bytes({0x01}), 1, Bytes({0xfe})},
        RowCase{"K8_InkToGrey", Layout(L::K, 8, 8, 3), Bytes({0, 128, 255}), 8, Bytes({255, 127, 0})},
        RowCase{"W8_GreyAsItIs", Layout(L::W, 8, 8, 3), Bytes({0, 128, 255}), 8, Bytes({0, 128, 255})},
        RowCase{"K2_ScaledToGrey", Layout(L::K, 2, 2, 4), Bytes({0x1b}), 8, Bytes({255, 170, 85, 0})},
        RowCase{"W4_ScaledToGrey", Layout(L::W, 4, 4, 3), Bytes({0x0f, 0x80}), 8, Bytes({0, 255, 136})},
        RowCase{"SW16_HighByte", Layout(L::SW, 16, 16, 2), Native16({0x12ff, 0xff00}), 8,
                Bytes({0x12, 0xff})},
        RowCase{"Gold1_IsInk", Layout(L::GOLD, 1, 1, 8), Bytes({0x81}), 1, Bytes({0x81})},
        // Several channels, chunked.
        RowCase{"RGB8", Layout(L::RGB, 8, 24, 2), Bytes({1, 2, 3, 4, 5, 6}), 24, Bytes({1, 2, 3, 4, 5, 6})},
        RowCase{"SRGB16", Layout(L::SRGB, 16, 48, 1), Native16({0x1000, 0x2000, 0x30ff}), 24,
                Bytes({0x10, 0x20, 0x30})},
        RowCase{"RGBA8_DropsAlpha", Layout(L::RGBA, 8, 32, 2), Bytes({1, 2, 3, 9, 4, 5, 6, 9}), 24,
                Bytes({1, 2, 3, 4, 5, 6})},
        RowCase{"CMY8", Layout(L::CMY, 8, 24, 1), Bytes({255, 0, 55}), 24, Bytes({0, 255, 200})},
        // CMYK: white less each ink less black, at least 0.
        RowCase{"CMYK8", Layout(L::CMYK, 8, 32, 2), Bytes({0, 0, 0, 0, 100, 0, 200, 100}), 24,
                Bytes({255, 255, 255, 55, 155, 0})},
        RowCase{"KCMY8", Layout(L::KCMY, 8, 32, 1), Bytes({100, 100, 0, 200}), 24, Bytes({55, 155, 0})},
        // Refused, with a reason.
        RowCase{"CIELab_Refused", Layout(16, 8, 24, 1), Bytes({0, 0, 0}), 0, {}},
        RowCase{"ICC3_Refused", Layout(34, 8, 24, 1), Bytes({0, 0, 0}), 0, {}},
        RowCase{"DeviceN_Refused", Layout(51, 8, 32, 1), Bytes({0, 0, 0, 0}), 0, {}},
        RowCase{"PlanarRGB_Refused", Layout(L::RGB, 8, 8, 1, L::PLANAR), Bytes({0}), 0, {}},
        RowCase{"RGB1_Refused", Layout(L::RGB, 1, 4, 2), Bytes({0}), 0, {}},
        RowCase{"K3_Refused", Layout(L::K, 3, 3, 8), Bytes({0, 0, 0}), 0, {}},
        RowCase{"PixelBitsDisagree_Refused", Layout(L::RGB, 8, 32, 1), Bytes({0, 0, 0, 0}), 0, {}},
        RowCase{"NoWidth_Refused", Layout(L::K, 1, 1, 0), {}, 0, {}}),
    [](const ::testing::TestParamInfo<RowCase> &param) { return std::string(param.param.name); });

} // namespace
