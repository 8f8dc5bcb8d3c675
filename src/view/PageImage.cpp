// CPageImage: loading a page bitmap and widening its pixels to what the view draws.
#include "view/PageImage.h"

#include <cstring>

namespace {

void FreePixels(void *p)
{
    std::free(p);
}

// Widens packed 4-bit rows to one index per byte.
CBmpBuffer Widen4To8(const CBmpBitmap &bitmap, qsizetype nStride8)
{
    CBmpBuffer wide(static_cast<uchar *>(std::malloc(std::size_t(nStride8) * std::size_t(bitmap.nHeight))));
    if (!wide)
        return wide;
    for (int y = 0; y < bitmap.nHeight; ++y) {
        const uchar *s = bitmap.Row(y);
        uchar *d = wide.get() + qsizetype(y) * nStride8;
        int x = 0;
        for (; x + 1 < bitmap.nWidth; x += 2, ++s) {
            d[x] = uchar(*s >> 4);
            d[x + 1] = uchar(*s & 0x0F);
        }
        if (x < bitmap.nWidth)
            d[x++] = uchar(*s >> 4);
        std::memset(d + x, 0, std::size_t(nStride8 - x));
    }
    return wide;
}

// 5 or 6 bits to 8, 255 x value / max rounded (31 -> 255, 3 -> 25).
uchar Scale(quint32 v, quint32 max)
{
    return uchar((v * 255 + max / 2) / max);
}

} // namespace

bool CPageImage::Load(const QString &path)
{
    Destroy();
    CBmpBitmap bitmap;
    m_nLoadResult = ReadBmpFile(path, bitmap);
    if (m_nLoadResult != BMP_OK)
        return false;
    return Attach(std::move(bitmap));
}

bool CPageImage::Attach(CBmpBitmap &&bitmap)
{
    Destroy();
    if (!bitmap.pixels || bitmap.nWidth <= 0 || bitmap.nHeight <= 0) {
        m_nLoadResult = BMP_ERR_FORMAT;
        return false;
    }
    QImage::Format eFormat = QImage::Format_Invalid;
    CBmpBuffer pixels = std::move(bitmap.pixels);
    qsizetype nStride = bitmap.nStride;
    switch (bitmap.nBits) {
    case 1:
        eFormat = QImage::Format_Mono;
        break;
    case 4: {
        const qsizetype nStride8 = ((qsizetype(bitmap.nWidth) * 8 + 31) / 32) * 4;
        if (qint64(nStride8) * bitmap.nHeight > kBmpMaxDecodedBytes) {
            m_nLoadResult = BMP_ERR_SIZE;
            return false;
        }
        bitmap.pixels = std::move(pixels);
        pixels = Widen4To8(bitmap, nStride8);
        bitmap.pixels.reset();
        nStride = nStride8;
        eFormat = QImage::Format_Indexed8;
        break;
    }
    case 8:
        eFormat = QImage::Format_Indexed8;
        break;
    case 16:
        eFormat = bitmap.b565 ? QImage::Format_RGB16 : QImage::Format_RGB555;
        break;
    case 24:
        eFormat = QImage::Format_BGR888;
        break;
    case 32:
        eFormat = QImage::Format_RGB32;
        if (bitmap.bAlpha) {
            for (int y = 0; y < bitmap.nHeight; ++y) {
                uchar *row = pixels.get() + qsizetype(y) * nStride;
                for (int x = 0; x < bitmap.nWidth; ++x)
                    row[4 * x + 3] = 0xFF;
            }
        }
        break;
    default:
        m_nLoadResult = BMP_ERR_FORMAT;
        return false;
    }
    if (!pixels) {
        m_nLoadResult = BMP_ERR_MEMORY;
        return false;
    }
    uchar *p = pixels.get();
    QImage image(p, bitmap.nWidth, bitmap.nHeight, nStride, eFormat, FreePixels, p);
    if (image.isNull()) {
        m_nLoadResult = BMP_ERR_MEMORY;
        return false;
    }
    pixels.release(); // now owned by the image's shared data, freed with its last copy
    if (bitmap.nBits <= 8) {
        m_colorTable = QList<QRgb>(bitmap.palette.begin(), bitmap.palette.begin() + bitmap.nPaletteSize);
        image.setColorTable(m_colorTable);
    }
    m_image = image;
    m_nBits = bitmap.nBits;
    m_bAlpha = bitmap.bAlpha;
    m_b565 = bitmap.b565;
    m_nLoadResult = BMP_OK;
    return true;
}

void CPageImage::Destroy()
{
    m_image = QImage();
    m_colorTable.clear();
    m_nBits = 0;
    m_bAlpha = false;
    m_b565 = false;
}

QImage CPageImage::ToRgb888() const
{
    if (m_image.isNull())
        return QImage();
    if (m_nBits != 16)
        return m_image.convertToFormat(QImage::Format_RGB888);
    QImage rgb(m_image.width(), m_image.height(), QImage::Format_RGB888);
    if (rgb.isNull())
        return rgb;
    for (int y = 0; y < m_image.height(); ++y) {
        const uchar *s = m_image.constScanLine(y);
        uchar *d = rgb.scanLine(y);
        for (int x = 0; x < m_image.width(); ++x, s += 2, d += 3) {
            const quint32 v = quint32(s[0] | (s[1] << 8));
            if (m_b565) {
                d[0] = Scale(v >> 11, 31);
                d[1] = Scale((v >> 5) & 63, 63);
            } else {
                d[0] = Scale((v >> 10) & 31, 31);
                d[1] = Scale((v >> 5) & 31, 31);
            }
            d[2] = Scale(v & 31, 31);
        }
    }
    return rgb;
}
