#pragma once
// One row of a CUPS or PWG raster page turned into the row format the agent shows.

#include <QString>
#include <QtGlobal>

// Turns one row of a CUPS or PWG raster page into the row format the agent shows (see AgentWire.h):
// 1 bit (1 = ink), 8-bit grey (0 = black) or 24-bit RGB.
//
// What is shown:
//   one channel (W, SW: 0 = black; K and the single-ink spaces: 0 = no ink), 1, 2, 4, 8 or 16 bits;
//     1 bit stays 1 bit, deeper values become 8-bit grey
//   RGB, sRGB, Adobe RGB (3 channels) and RGBA, RGBW (the fourth is dropped), 8 or 16 bits, chunked
//   CMY, CMYK, KCMY (ink amounts, shown as RGB by subtracting them from white), 8 or 16 bits, chunked
// Anything else (CIE, ICC and DeviceN spaces, banded or planar colour, fewer than 8 bits a colour for
// several channels) is refused with the reason: the filter does not guess at colours it cannot show.
// 16-bit values are in the machine's order (the raster API swaps them) and their high byte is shown.
struct RasterLayout {
    // The numbers of CUPS's cups_cspace_t and cups_order_t.
    enum ColorSpace : quint32 {
        W = 0,
        RGB = 1,
        RGBA = 2,
        K = 3,
        CMY = 4,
        CMYK = 6,
        KCMY = 8,
        WHITE = 12,
        GOLD = 13,
        SILVER = 14,
        RGBW = 17,
        SW = 18,
        SRGB = 19,
        ADOBERGB = 20,
    };
    enum ColorOrder : quint32 { CHUNKED = 0, BANDED = 1, PLANAR = 2 };

    quint32 colorSpace = W;
    quint32 colorOrder = CHUNKED;
    quint32 bitsPerColor = 0;
    quint32 bitsPerPixel = 0;
    quint32 width = 0;
};

class CRowConverter {
public:
    // False with the reason when the layout is not one that can be shown.
    bool Setup(const RasterLayout &layout, QString *why);

    // Bits per pixel of the converted rows: 1, 8 or 24.
    quint32 WireBits() const { return m_wireBits; }
    // Bytes of one converted row.
    quint64 WireRowBytes() const;
    // Converts one raster row (the raster's bytes per line) into out (WireRowBytes()).
    void Convert(const uchar *in, uchar *out) const;

private:
    enum class Kind { Gray, InkGray, Rgb, Cmy, Cmyk, Kcmy };

    quint32 Sample(const uchar *in, quint64 index) const;

    RasterLayout m_layout;
    Kind m_kind = Kind::Gray;
    quint32 m_channels = 1;
    quint32 m_wireBits = 0;
};
