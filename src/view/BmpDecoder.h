#pragma once
// Decoding BMP files into page bitmaps: the results, the decoded bitmap and the readers.

#include "link/BmpLimits.h"

#include <QRgb>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>

// Results of decoding a BMP file; 0 is success.
enum EBmpResult : int {
    BMP_OK = 0,
    BMP_ERR_FILE = 1,      // cannot be opened or read, or not a regular file
    BMP_ERR_HEADER = 2,    // not a BMP, or its headers are cut short or malformed
    BMP_ERR_FORMAT = 3,    // a depth, compression or plane count this decoder does not take
    BMP_ERR_SIZE = 4,      // zero, negative or absurd dimensions, or over the decoded-size limit
    BMP_ERR_TRUNCATED = 5, // the pixel data ends before the image is complete
    BMP_ERR_MEMORY = 6,    // the pixel buffer could not be allocated
};

struct CBmpFree {
    void operator()(uchar *p) const { std::free(p); }
};
using CBmpBuffer = std::unique_ptr<uchar[], CBmpFree>;

// One decoded bitmap. Rows are stored top-down, each padded to a multiple of 4 bytes:
// nStride = ((nWidth x nBits + 31) / 32) x 4.
//  1, 4, 8 bits: palette indices, most significant pixel first within a byte.
//  16 bits: little-endian 5-5-5 (bit 15 always 0) or 5-6-5 (b565).
//  24 bits: blue, green, red bytes.
//  32 bits: little-endian 0xAARRGGBB words; alpha is 0xFF unless bAlpha.
struct CBmpBitmap {
    int nWidth = 0;
    int nHeight = 0;
    int nBits = 0;
    bool bAlpha = false;
    bool b565 = false;
    qsizetype nStride = 0;
    // The colour table of an indexed bitmap: 2^nBits entries, the file's colours first, then black.
    std::array<QRgb, 256> palette{};
    int nPaletteSize = 0;
    // How many colours the file itself gave (the rest of the table is black).
    int nFileColors = 0;
    CBmpBuffer pixels;

    qint64 ByteSize() const { return qint64(nStride) * nHeight; }
    uchar *Row(int y) const { return pixels.get() + qsizetype(y) * nStride; }
};

// Decodes a whole BMP file held in memory. On failure out is left empty.
int DecodeBmp(const uchar *data, std::size_t size, CBmpBitmap &out);

// Reads the file at path (a regular file only: a FIFO, a device or a directory fails at once without
// blocking) and decodes it.
int ReadBmpFile(const QString &path, CBmpBitmap &out);

// Opens the file at path for reading when it is a regular file (a FIFO, a device or a directory fails
// at once without blocking); the descriptor, or -1.
int OpenBmpFile(const QString &path);
// Reads up to nWant bytes at offset nAt; fewer only when the file ends (or shrinks) first. -1 on an error.
qint64 ReadBmpFileAt(int fd, uchar *p, qint64 nWant, qint64 nAt);
