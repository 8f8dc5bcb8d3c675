// A BMP file's pixel array turned into the decoded bitmap: bit fields, 64-bit and RLE pixels.
#include "view/BmpPixels.h"

#include <cmath>
#include <cstring>

namespace {

bool MasksAre(const CBmpSource &src, quint32 r, quint32 g, quint32 b, quint32 a)
{
    return src.masks[0] == r && src.masks[1] == g && src.masks[2] == b && src.masks[3] == a;
}

const uchar *SourceRow(const CBmpSource &src, int y)
{
    const qint64 nFileRow = src.bTopDown ? y : src.nHeight - 1 - y;
    return src.data + nFileRow * src.nStride;
}

void Store32(uchar *d, quint32 v)
{
    std::memcpy(d, &v, 4);
}

// One channel of a bit mask: value = (pixel & mask) >> shift, scaled from 0..max to 0..255 with
// rounding, 255 x value / max. An empty mask gives 0.
struct CChannel {
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    explicit CChannel(quint32 m) : mask(m)
    {
        if (m == 0)
            return;
        while (!((m >> shift) & 1u))
            ++shift;
        max = m >> shift;
    }
    quint32 Scale(quint32 pixel) const
    {
        if (max == 0)
            return 0;
        const quint64 v = (pixel & mask) >> shift;
        return quint32((v * 255 + max / 2) / max);
    }
};

void DecodeFields(const CBmpSource &src, CBmpBitmap &out)
{
    const CChannel r(src.masks[0]), g(src.masks[1]), b(src.masks[2]), a(src.masks[3]);
    const int nBytes = src.nBits / 8;
    for (int y = 0; y < src.nHeight; ++y) {
        const uchar *s = SourceRow(src, y);
        uchar *d = out.Row(y);
        for (int x = 0; x < src.nWidth; ++x, s += nBytes, d += 4) {
            quint32 v = s[0] | (quint32(s[1]) << 8);
            if (nBytes > 2)
                v |= quint32(s[2]) << 16;
            if (nBytes > 3)
                v |= quint32(s[3]) << 24;
            const quint32 alpha = a.mask ? a.Scale(v) : 255;
            Store32(d, (alpha << 24) | (r.Scale(v) << 16) | (g.Scale(v) << 8) | b.Scale(v));
        }
    }
}

// Linear light 0..8192 (1.0 in 2.13 fixed point) to 8-bit sRGB.
const uchar *LinearToSrgb()
{
    static const auto table = [] {
        std::array<uchar, 8193> t{};
        for (int i = 0; i <= 8192; ++i) {
            const double l = i / 8192.0;
            const double s = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
            t[std::size_t(i)] = uchar(std::lround(qBound(0.0, s, 1.0) * 255.0));
        }
        return t;
    }();
    return table.data();
}

int Fixed213(const uchar *p)
{
    return qBound(0, int(qint16(quint16(p[0] | (p[1] << 8)))), 8192);
}

void DecodeRgba64(const CBmpSource &src, CBmpBitmap &out)
{
    const uchar *srgb = LinearToSrgb();
    for (int y = 0; y < src.nHeight; ++y) {
        const uchar *s = SourceRow(src, y);
        uchar *d = out.Row(y);
        for (int x = 0; x < src.nWidth; ++x, s += 8, d += 4) {
            const quint32 alpha = quint32((Fixed213(s + 6) * 255 + 4096) / 8192);
            Store32(d, (alpha << 24) | (quint32(srgb[Fixed213(s + 4)]) << 16) |
                           (quint32(srgb[Fixed213(s + 2)]) << 8) | srgb[Fixed213(s)]);
        }
    }
}

void PutIndex(const CBmpBitmap &out, bool b4, int x, int yFromBottom, uchar index)
{
    uchar *row = out.Row(out.nHeight - 1 - yFromBottom);
    if (!b4) {
        row[x] = index;
        return;
    }
    uchar &byte = row[x >> 1];
    byte = (x & 1) ? uchar((byte & 0xF0) | (index & 0x0F)) : uchar((byte & 0x0F) | (index << 4));
}

// RLE8 and RLE4 streams: (n, c) is a run of n pixels of c (RLE4: the two nibbles of c in turn);
// (0, 0) ends the line, (0, 1) the bitmap, (0, 2, dx, dy) moves right and up; (0, n >= 3) is followed
// by n literal pixels padded to an even byte count. Pixels past the right edge are dropped; a move
// past the top ends the bitmap. Every step consumes at least two bytes, so the loop ends.
int DecodeRle(const CBmpSource &src, CBmpBitmap &out)
{
    const bool b4 = src.eKind == CBmpSource::RLE4;
    const uchar *d = src.data;
    const qint64 n = src.nSize;
    const int w = src.nWidth;
    qint64 i = 0;
    int x = 0;
    int y = 0;
    for (;;) {
        if (y >= src.nHeight)
            return BMP_OK;
        if (i + 2 > n)
            return BMP_ERR_TRUNCATED;
        const int c0 = d[i];
        const int c1 = d[i + 1];
        i += 2;
        if (c0 > 0) {
            const int nRun = qMin(c0, w - x);
            for (int k = 0; k < nRun; ++k)
                PutIndex(out, b4, x + k, y, b4 ? uchar((k & 1) ? (c1 & 0x0F) : (c1 >> 4)) : uchar(c1));
            x = qMin(x + c0, w);
        } else if (c1 == 0) {
            x = 0;
            ++y;
        } else if (c1 == 1) {
            return BMP_OK;
        } else if (c1 == 2) {
            if (i + 2 > n)
                return BMP_ERR_TRUNCATED;
            x = qMin(x + d[i], w);
            y += d[i + 1];
            i += 2;
        } else {
            const qint64 nBytes = b4 ? (c1 + 1) / 2 : c1;
            if (i + nBytes > n)
                return BMP_ERR_TRUNCATED;
            const int nRun = qMin(c1, w - x);
            for (int k = 0; k < nRun; ++k) {
                const uchar v = b4 ? uchar((k & 1) ? (d[i + k / 2] & 0x0F) : (d[i + k / 2] >> 4)) : d[i + k];
                PutIndex(out, b4, x + k, y, v);
            }
            x = qMin(x + c1, w);
            i += (nBytes + 1) & ~qint64(1);
        }
    }
}

} // namespace

CBmpSource::EKind ChooseUncompressed(const CBmpSource &src)
{
    switch (src.nBits) {
    case 2:
        return CBmpSource::INDEX2;
    case 16:
        if (MasksAre(src, 0x7C00, 0x03E0, 0x001F, 0))
            return CBmpSource::COPY555;
        return MasksAre(src, 0xF800, 0x07E0, 0x001F, 0) ? CBmpSource::COPY : CBmpSource::FIELDS;
    case 24:
        return MasksAre(src, 0xFF0000, 0x00FF00, 0x0000FF, 0) ? CBmpSource::COPY : CBmpSource::FIELDS;
    case 32:
        if (MasksAre(src, 0xFF0000, 0x00FF00, 0x0000FF, 0))
            return CBmpSource::COPY_X32;
        return MasksAre(src, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000u) ? CBmpSource::COPY
                                                                        : CBmpSource::FIELDS;
    case 64:
        return CBmpSource::RGBA64;
    default:
        return CBmpSource::COPY;
    }
}

int DecodedBits(const CBmpSource &src)
{
    switch (src.eKind) {
    case CBmpSource::COPY:
        return src.nBits;
    case CBmpSource::COPY555:
        return 16;
    case CBmpSource::RLE8:
        return 8;
    case CBmpSource::RLE4:
        return 4;
    default:
        return 32;
    }
}

bool DecodedAlpha(const CBmpSource &src)
{
    if (src.eKind == CBmpSource::RGBA64)
        return true;
    return (src.eKind == CBmpSource::FIELDS || src.eKind == CBmpSource::COPY) && src.nBits >= 16 &&
           src.masks[3] != 0;
}

bool HasEnoughPixelData(const CBmpSource &src)
{
    if (src.eKind == CBmpSource::RLE8 || src.eKind == CBmpSource::RLE4)
        return src.nSize >= 2;
    const qint64 nLastRow = (qint64(src.nWidth) * src.nBits + 7) / 8;
    return src.nStride * (src.nHeight - 1) + nLastRow <= src.nSize;
}

int DecodePixels(const CBmpSource &src, CBmpBitmap &out)
{
    const qsizetype nRowBytes = qsizetype((qint64(src.nWidth) * src.nBits + 7) / 8);
    switch (src.eKind) {
    case CBmpSource::RLE8:
    case CBmpSource::RLE4:
        return DecodeRle(src, out);
    case CBmpSource::FIELDS:
        DecodeFields(src, out);
        return BMP_OK;
    case CBmpSource::RGBA64:
        DecodeRgba64(src, out);
        return BMP_OK;
    case CBmpSource::INDEX2:
        for (int y = 0; y < src.nHeight; ++y) {
            const uchar *s = SourceRow(src, y);
            uchar *d = out.Row(y);
            for (int x = 0; x < src.nWidth; ++x)
                Store32(d + 4 * x, out.palette[(s[x >> 2] >> (6 - 2 * (x & 3))) & 3]);
        }
        return BMP_OK;
    case CBmpSource::COPY_X32:
        for (int y = 0; y < src.nHeight; ++y) {
            const uchar *s = SourceRow(src, y);
            uchar *d = out.Row(y);
            for (int x = 0; x < src.nWidth; ++x) {
                quint32 v;
                std::memcpy(&v, s + 4 * x, 4);
                Store32(d + 4 * x, v | 0xFF000000u);
            }
        }
        return BMP_OK;
    case CBmpSource::COPY:
    case CBmpSource::COPY555:
        for (int y = 0; y < src.nHeight; ++y) {
            uchar *d = out.Row(y);
            std::memcpy(d, SourceRow(src, y), std::size_t(nRowBytes));
            std::memset(d + nRowBytes, 0, std::size_t(out.nStride - nRowBytes));
            if (src.eKind == CBmpSource::COPY555) {
                for (qsizetype k = 1; k < nRowBytes; k += 2)
                    d[k] &= 0x7F;
            }
        }
        return BMP_OK;
    }
    return BMP_ERR_FORMAT;
}

void FinishRowsInPlace(const CBmpSource &src, CBmpBitmap &out)
{
    const qsizetype nRowBytes = qsizetype((qint64(src.nWidth) * src.nBits + 7) / 8);
    for (int y = 0; y < src.nHeight; ++y) {
        uchar *d = out.Row(y);
        for (qsizetype k = nRowBytes; k < out.nStride; ++k)
            d[k] = 0;
        if (src.eKind == CBmpSource::COPY555) {
            for (qsizetype k = 1; k < nRowBytes; k += 2)
                d[k] &= 0x7F;
        } else if (src.eKind == CBmpSource::COPY_X32) {
            for (qsizetype k = 3; k < nRowBytes; k += 4)
                d[k] = 0xFF;
        }
    }
}
