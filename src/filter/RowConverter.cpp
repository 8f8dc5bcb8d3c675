// Raster rows converted into the row formats the agent shows.
#include "filter/RowConverter.h"

#include <algorithm>

namespace {

quint32 Channels(quint32 colorSpace)
{
    switch (colorSpace) {
    case RasterLayout::RGB:
    case RasterLayout::SRGB:
    case RasterLayout::ADOBERGB:
    case RasterLayout::CMY:
        return 3;
    case RasterLayout::RGBA:
    case RasterLayout::RGBW:
    case RasterLayout::CMYK:
    case RasterLayout::KCMY:
        return 4;
    default:
        return 1;
    }
}

uchar Clamp(int value)
{
    return static_cast<uchar>(std::clamp(value, 0, 255));
}

// Why the depth and order of a layout with so many channels cannot be shown; empty when they can.
QString DepthProblem(const RasterLayout &layout, quint32 channels)
{
    const quint32 bits = layout.bitsPerColor;
    if (channels == 1) {
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
            return QStringLiteral("%1 bits a colour").arg(bits);
        if (layout.bitsPerPixel != bits)
            return QStringLiteral("%1 bits a pixel for %2 bits a colour").arg(layout.bitsPerPixel).arg(bits);
        return {};
    }
    if (layout.colorOrder != RasterLayout::CHUNKED)
        return QStringLiteral("colour order %1 (only chunked colour is shown)").arg(layout.colorOrder);
    if (bits != 8 && bits != 16)
        return QStringLiteral("%1 bits a colour in colour space %2").arg(bits).arg(layout.colorSpace);
    if (layout.bitsPerPixel != bits * channels)
        return QStringLiteral("%1 bits a pixel for %2 colours of %3 bits")
            .arg(layout.bitsPerPixel)
            .arg(channels)
            .arg(bits);
    return {};
}

} // namespace

bool CRowConverter::Setup(const RasterLayout &layout, QString *why)
{
    QString reason;
    m_layout = layout;
    m_channels = Channels(layout.colorSpace);
    switch (layout.colorSpace) {
    case RasterLayout::W:
    case RasterLayout::SW:
        m_kind = Kind::Gray;
        break;
    case RasterLayout::K:
    case RasterLayout::WHITE:
    case RasterLayout::GOLD:
    case RasterLayout::SILVER:
        m_kind = Kind::InkGray;
        break;
    case RasterLayout::RGB:
    case RasterLayout::SRGB:
    case RasterLayout::ADOBERGB:
    case RasterLayout::RGBA:
    case RasterLayout::RGBW:
        m_kind = Kind::Rgb;
        break;
    case RasterLayout::CMY:
        m_kind = Kind::Cmy;
        break;
    case RasterLayout::CMYK:
        m_kind = Kind::Cmyk;
        break;
    case RasterLayout::KCMY:
        m_kind = Kind::Kcmy;
        break;
    default:
        reason = QStringLiteral("colour space %1 cannot be shown").arg(layout.colorSpace);
    }
    const quint32 bits = layout.bitsPerColor;
    if (reason.isEmpty())
        reason = DepthProblem(layout, m_channels);
    if (reason.isEmpty() && layout.width == 0)
        reason = QStringLiteral("a page without width");
    if (why != nullptr)
        *why = reason;
    if (!reason.isEmpty()) {
        m_wireBits = 0;
        return false;
    }
    if (m_channels == 1)
        m_wireBits = bits == 1 ? 1 : 8;
    else
        m_wireBits = 24;
    return true;
}

quint64 CRowConverter::WireRowBytes() const
{
    return (static_cast<quint64>(m_layout.width) * m_wireBits + 7) / 8;
}

// Sample index of a row (pixel * channels + channel) scaled to 0..255: an n-bit value v is
// v * 255 / (2^n - 1); 16-bit values keep their high byte.
quint32 CRowConverter::Sample(const uchar *in, quint64 index) const
{
    switch (m_layout.bitsPerColor) {
    case 2: {
        const quint32 v = (in[index / 4] >> (6 - 2 * (index % 4))) & 3u;
        return v * 85u;
    }
    case 4: {
        const quint32 v = (in[index / 2] >> (4 - 4 * (index % 2))) & 15u;
        return v * 17u;
    }
    case 16: {
        quint16 v;
        std::copy(in + 2 * index, in + 2 * index + 2, reinterpret_cast<uchar *>(&v));
        return v >> 8;
    }
    default:
        return in[index];
    }
}

void CRowConverter::Convert(const uchar *in, uchar *out) const
{
    const quint32 width = m_layout.width;
    if (m_wireBits == 1) {
        const quint64 bytes = WireRowBytes();
        for (quint64 i = 0; i < bytes; ++i)
            out[i] = m_kind == Kind::Gray ? static_cast<uchar>(~in[i]) : in[i];
        return;
    }
    if (m_wireBits == 8) {
        for (quint32 x = 0; x < width; ++x) {
            const quint32 v = Sample(in, x);
            out[x] = static_cast<uchar>(m_kind == Kind::Gray ? v : 255 - v);
        }
        return;
    }
    for (quint32 x = 0; x < width; ++x) {
        const quint64 at = static_cast<quint64>(x) * m_channels;
        uchar *rgb = out + 3 * static_cast<quint64>(x);
        switch (m_kind) {
        case Kind::Rgb:
            for (int c = 0; c < 3; ++c)
                rgb[c] = static_cast<uchar>(Sample(in, at + c));
            break;
        case Kind::Cmy:
            for (int c = 0; c < 3; ++c)
                rgb[c] = static_cast<uchar>(255 - Sample(in, at + c));
            break;
        case Kind::Cmyk:
        case Kind::Kcmy: {
            const quint64 first = m_kind == Kind::Cmyk ? at : at + 1;
            const int k = static_cast<int>(Sample(in, m_kind == Kind::Cmyk ? at + 3 : at));
            for (int c = 0; c < 3; ++c)
                rgb[c] = Clamp(255 - static_cast<int>(Sample(in, first + c)) - k);
            break;
        }
        default:
            break;
        }
    }
}
