// Decoding a BMP file in memory: its headers checked and its pixels handed on.
#include "view/BmpDecoder.h"

#include "view/BmpPixels.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>

namespace {

enum ECompression : quint32 {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3,
    BI_JPEG = 4,
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6,
};

constexpr qint64 kFileHeaderSize = 14;

quint16 U16(const uchar *p)
{
    return quint16(p[0] | (p[1] << 8));
}

quint32 U32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

bool IsInfoHeaderSize(quint32 n)
{
    // 12: OS/2 1.x core header; 16 and 64: OS/2 2.x (cut at its shortest or whole); 40: info header;
    // 52 and 56: info header with RGB or RGBA masks inside it; 108: V4; 124: V5.
    return n == 12 || n == 16 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

// What the headers say, checked against the file's size.
struct CHeader {
    qint64 nWidth = 0;
    qint64 nHeight = 0;
    bool bTopDown = false;
    int nBits = 0;
    quint32 nCompression = BI_RGB;
    quint32 masks[4] = {0, 0, 0, 0};
    qint64 nPaletteAt = 0;
    qint64 nPaletteEnd = 0;
    int nEntrySize = 4;
    qint64 nColors = 0;
    qint64 nPixelsAt = 0;
};

int ParseHeader(const uchar *d, qint64 size, CHeader &h)
{
    if (size < kFileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M')
        return BMP_ERR_HEADER;
    const quint32 nOffBits = U32(d + 10);
    const quint32 nHeaderSize = U32(d + 14);
    if (!IsInfoHeaderSize(nHeaderSize) || kFileHeaderSize + nHeaderSize > size)
        return BMP_ERR_HEADER;
    const uchar *ih = d + kFileHeaderSize;
    int nPlanes = 0;
    qint64 nColorsUsed = 0;
    if (nHeaderSize == 12) {
        h.nWidth = U16(ih + 4);
        h.nHeight = U16(ih + 6);
        nPlanes = U16(ih + 8);
        h.nBits = U16(ih + 10);
        h.nEntrySize = 3;
    } else {
        h.nWidth = qint32(U32(ih + 4));
        h.nHeight = qint32(U32(ih + 8));
        nPlanes = U16(ih + 12);
        h.nBits = U16(ih + 14);
        if (nHeaderSize >= 20)
            h.nCompression = U32(ih + 16);
        if (nHeaderSize >= 36)
            nColorsUsed = U32(ih + 32);
        // OS/2 2.x numbers its compressions differently from 3 on (Huffman 1D, RLE24): none is taken.
        if ((nHeaderSize == 16 || nHeaderSize == 64) && h.nCompression > BI_RLE4)
            return BMP_ERR_FORMAT;
    }
    if (nPlanes != 1)
        return BMP_ERR_FORMAT;
    if (h.nHeight < 0) {
        h.bTopDown = true;
        h.nHeight = -h.nHeight;
    }
    if (h.nWidth <= 0 || h.nHeight <= 0 || h.nWidth > kBmpMaxDimension || h.nHeight > kBmpMaxDimension)
        return BMP_ERR_SIZE;

    qint64 nMasksEnd = kFileHeaderSize + nHeaderSize;
    switch (h.nCompression) {
    case BI_RGB:
        if (h.nBits != 1 && h.nBits != 2 && h.nBits != 4 && h.nBits != 8 && h.nBits != 16 && h.nBits != 24 &&
            h.nBits != 32 && h.nBits != 64)
            return BMP_ERR_FORMAT;
        break;
    case BI_RLE8:
    case BI_RLE4:
        // An RLE stream runs bottom-up by definition; a top-down one is malformed.
        if (h.nBits != (h.nCompression == BI_RLE8 ? 8 : 4) || h.bTopDown)
            return BMP_ERR_FORMAT;
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS: {
        if (h.nBits != 16 && h.nBits != 24 && h.nBits != 32)
            return BMP_ERR_FORMAT;
        const int nMasks = h.nCompression == BI_ALPHABITFIELDS ? 4 : 3;
        if (nHeaderSize == 40) {
            // The masks follow the info header.
            if (nMasksEnd + 4 * nMasks > size)
                return BMP_ERR_HEADER;
            for (int i = 0; i < nMasks; ++i)
                h.masks[i] = U32(d + nMasksEnd + 4 * i);
            nMasksEnd += 4 * nMasks;
        } else if (nHeaderSize >= 52) {
            for (int i = 0; i < 3; ++i)
                h.masks[i] = U32(ih + 40 + 4 * i);
            if (nHeaderSize >= 56)
                h.masks[3] = U32(ih + 52);
        } else {
            return BMP_ERR_HEADER;
        }
        break;
    }
    default:
        // BI_JPEG, BI_PNG and anything else: not decoded here.
        return BMP_ERR_FORMAT;
    }
    if (h.nCompression == BI_RGB && h.nBits == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.nCompression == BI_RGB && (h.nBits == 24 || h.nBits == 32)) {
        h.masks[0] = 0xFF0000;
        h.masks[1] = 0x00FF00;
        h.masks[2] = 0x0000FF;
    }

    // The colour table sits between the headers and the pixels. A core header has no count: its table
    // fills the room up to the pixels. A count of 0 means the full 2^bits.
    h.nPaletteAt = nMasksEnd;
    const bool bOffBitsUsable = nOffBits >= nMasksEnd;
    if (bOffBitsUsable && nOffBits >= size)
        return BMP_ERR_HEADER;
    if (nColorsUsed == 0 && h.nBits <= 8)
        nColorsUsed = qint64(1) << h.nBits;
    if (nHeaderSize == 12 && bOffBitsUsable)
        nColorsUsed = qMin(nColorsUsed, (nOffBits - nMasksEnd) / 3);
    h.nColors = nColorsUsed;
    const qint64 nNaturalEnd = h.nPaletteAt + nColorsUsed * h.nEntrySize;
    if (bOffBitsUsable) {
        h.nPixelsAt = nOffBits;
        h.nPaletteEnd = qMin<qint64>(nOffBits, nNaturalEnd);
    } else {
        // An offset of 0 (or one pointing into the headers): the pixels follow the colour table.
        h.nPixelsAt = nNaturalEnd;
        h.nPaletteEnd = nNaturalEnd;
        if (h.nPixelsAt >= size)
            return BMP_ERR_HEADER;
    }
    return BMP_OK;
}

void ReadPalette(const uchar *d, qint64 nAvail, const CHeader &h, CBmpBitmap &out, int nTableSize)
{
    const qint64 nEnd = qMin(h.nPaletteEnd, nAvail);
    const qint64 nAvailable = nEnd > h.nPaletteAt ? (nEnd - h.nPaletteAt) / h.nEntrySize : 0;
    const int nCount = int(qMin<qint64>(qMin<qint64>(h.nColors, nAvailable), nTableSize));
    out.palette.fill(qRgb(0, 0, 0));
    for (int i = 0; i < nCount; ++i) {
        const uchar *e = d + h.nPaletteAt + qint64(i) * h.nEntrySize;
        out.palette[std::size_t(i)] = qRgb(e[2], e[1], e[0]);
    }
    out.nFileColors = nCount;
}

// A long page's buffer is filled once, front to back: backing it with huge pages where the system
// offers them on request saves one page fault per 4 KiB. Only whole 2 MiB blocks inside it are marked.
void AdviseHugePages(void *p, std::size_t nSize)
{
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    if (nSize < 4 * kHuge)
        return;
    const std::uintptr_t nBegin = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t nEnd = (reinterpret_cast<std::uintptr_t>(p) + nSize) & ~(kHuge - 1);
    if (nEnd > nBegin)
        ::madvise(reinterpret_cast<void *>(nBegin), nEnd - nBegin, MADV_HUGEPAGE);
}

} // namespace

int PrepareBmp(const uchar *d, qint64 nAvail, qint64 nFileSize, CBmpSource &src, CBmpBitmap &bitmap)
{
    CHeader h;
    const int nResult = ParseHeader(d, nFileSize, h);
    if (nResult != BMP_OK)
        return nResult;
    src.data = h.nPixelsAt < nAvail ? d + h.nPixelsAt : nullptr;
    src.nAt = h.nPixelsAt;
    src.nSize = nFileSize - h.nPixelsAt;
    src.nWidth = int(h.nWidth);
    src.nHeight = int(h.nHeight);
    src.nBits = h.nBits;
    src.bTopDown = h.bTopDown;
    src.nStride = ((h.nWidth * h.nBits + 31) / 32) * 4;
    for (int i = 0; i < 4; ++i)
        src.masks[i] = h.masks[i];
    src.eKind = h.nCompression == BI_RLE8   ? CBmpSource::RLE8
                : h.nCompression == BI_RLE4 ? CBmpSource::RLE4
                                            : ChooseUncompressed(src);

    bitmap.nWidth = src.nWidth;
    bitmap.nHeight = src.nHeight;
    bitmap.nBits = DecodedBits(src);
    bitmap.bAlpha = DecodedAlpha(src);
    bitmap.b565 = src.eKind == CBmpSource::COPY && src.nBits == 16;
    bitmap.nStride = qsizetype(((h.nWidth * bitmap.nBits + 31) / 32) * 4);
    // Refused before any allocation: the limit bounds what a file can make the decoder take.
    if (bitmap.ByteSize() > kBmpMaxDecodedBytes)
        return BMP_ERR_SIZE;
    if (h.nBits <= 8) {
        ReadPalette(d, nAvail, h, bitmap, 1 << h.nBits);
        if (bitmap.nBits <= 8)
            bitmap.nPaletteSize = 1 << bitmap.nBits;
    }
    if (!HasEnoughPixelData(src))
        return BMP_ERR_TRUNCATED;

    // RLE leaves pixels out (index 0); every other kind writes each byte of each row.
    void *p = src.eKind == CBmpSource::RLE8 || src.eKind == CBmpSource::RLE4
                  ? std::calloc(std::size_t(bitmap.ByteSize()), 1)
                  : std::malloc(std::size_t(bitmap.ByteSize()));
    if (!p)
        return BMP_ERR_MEMORY;
    bitmap.pixels.reset(static_cast<uchar *>(p));
    AdviseHugePages(p, std::size_t(bitmap.ByteSize()));
    return BMP_OK;
}

int DecodeBmp(const uchar *data, std::size_t size, CBmpBitmap &out)
{
    out = CBmpBitmap();
    if (!data)
        return BMP_ERR_HEADER;
    const qint64 nSize = qint64(qMin<std::size_t>(size, std::size_t(kMaxFileBytes)));
    CBmpSource src;
    CBmpBitmap bitmap;
    int nResult = PrepareBmp(data, nSize, nSize, src, bitmap);
    if (nResult == BMP_OK)
        nResult = DecodePixels(src, bitmap);
    if (nResult == BMP_OK)
        out = std::move(bitmap);
    return nResult;
}
