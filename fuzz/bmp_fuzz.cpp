// The BMP decoder on arbitrary bytes: headers, colour tables, masks, RLE streams and cut-short pixel
// arrays must never crash, hang, read outside the input or write outside the decoded bitmap.
#include "view/BmpDecoder.h"
#include "view/PageImage.h"

#include <cstddef>
#include <cstdint>

namespace {
volatile unsigned g_nSink;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CBmpBitmap bitmap;
    const int nResult = DecodeBmp(data, size, bitmap);
    if (nResult != BMP_OK) {
        if (bitmap.pixels || bitmap.nWidth != 0)
            __builtin_trap();
        return 0;
    }
    if (bitmap.nWidth <= 0 || bitmap.nHeight <= 0 || bitmap.ByteSize() > kBmpMaxDecodedBytes ||
        bitmap.nStride < (qint64(bitmap.nWidth) * bitmap.nBits + 7) / 8)
        __builtin_trap();
    // Touch the first and last byte of every row so that a short buffer shows.
    unsigned sum = 0;
    for (int y = 0; y < bitmap.nHeight; ++y)
        sum += bitmap.Row(y)[0] + bitmap.Row(y)[bitmap.nStride - 1];
    g_nSink = sum;
    const qint64 nPixels = qint64(bitmap.nWidth) * bitmap.nHeight;
    CPageImage image;
    if (!image.Attach(std::move(bitmap)))
        return 0;
    if (image.IsNull() || image.Image().isNull())
        __builtin_trap();
    // Converting a huge page only costs time; small ones go through the drawing conversions too.
    if (nPixels <= (1 << 20)) {
        const QImage rgb = image.ToRgb888();
        if (rgb.width() != image.GetWidth() || rgb.height() != image.GetHeight())
            __builtin_trap();
    }
    return 0;
}
