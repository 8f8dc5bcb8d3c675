#pragma once
// A BMP file's pixel array as its headers describe it, and its decoding.

#include "view/BmpDecoder.h"

// The pixel array of a BMP file as its headers describe it, and how it turns into the decoded bitmap.
// Used by DecodeBmp once the headers have been checked.
struct CBmpSource {
    enum EKind : int {
        COPY,     // rows copied as they are: 1, 4, 8 bits, 5-6-5, 24-bit BGR, 32-bit ARGB in standard order
        COPY555,  // 5-5-5 with its unused top bit cleared
        COPY_X32, // 32-bit RGB in standard order with the unused byte set to 0xFF
        INDEX2,   // 2-bit indices looked up into 32-bit RGB
        FIELDS,   // any masks on 16, 24 or 32 bits, each channel scaled to 8 bits
        RGBA64,   // 64 bits: four signed 2.13 fixed-point linear channels
        RLE8,
        RLE4,
    };

    const uchar *data = nullptr; // the first byte of the pixel array, when it is in memory
    qint64 nAt = 0;              // its offset in the file
    qint64 nSize = 0;            // bytes from there to the end of the file
    int nWidth = 0;
    int nHeight = 0;
    int nBits = 0;
    bool bTopDown = false;
    qint64 nStride = 0;              // bytes per row in the file
    quint32 masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    EKind eKind = COPY;
};

// A file is read up to this size at most: an uncompressed 64-bit source is twice its decoded size, and
// an RLE stream that needs more than this to reach its end is taken as truncated.
constexpr qint64 kMaxFileBytes = 2 * kBmpMaxDecodedBytes + (qint64(1) << 20);

// Checks the headers of a file of nFileSize bytes whose first nAvail bytes are at d, reads its colour
// table, chooses the decoded layout and allocates the pixel buffer. Headers, masks and the part of the
// colour table that is read (256 entries at most) end within the first 14 + 124 + 1024 = 1162 bytes of
// any file, so nAvail = min(nFileSize, 1162) or more is enough; src.data is set only when the pixels
// start within d.
int PrepareBmp(const uchar *d, qint64 nAvail, qint64 nFileSize, CBmpSource &src, CBmpBitmap &bitmap);

CBmpSource::EKind ChooseUncompressed(const CBmpSource &src);
int DecodedBits(const CBmpSource &src);
bool DecodedAlpha(const CBmpSource &src);
// Whether an uncompressed array holds every row (the last row's padding may be missing).
bool HasEnoughPixelData(const CBmpSource &src);
// Fills out.pixels (allocated for out.nStride x out.nHeight bytes) from src.data. Returns a BMP_ result.
int DecodePixels(const CBmpSource &src, CBmpBitmap &out);
// After the stored rows of COPY, COPY555 or COPY_X32 were put in place as they are: clears the row
// padding and makes the pixels what DecodePixels would have made.
void FinishRowsInPlace(const CBmpSource &src, CBmpBitmap &out);
