// Reading the rows of a page bitmap as bytes for the resampling kernel.
#include "view/PageRowReader.h"

#include <algorithm>
#include <cstring>

namespace {
// Source row y, dots [x0, x1), as RGB32 values (alpha ignored: the page is drawn opaque). Returns a
// pointer into the image itself for 32-bit formats, else into buffer.
const QRgb *FetchRow(const QImage &image, const QVector<QRgb> &table, int y, int x0, int x1,
                     std::vector<QRgb> &buffer)
{
    const uchar *line = image.constScanLine(y);
    const int n = x1 - x0;
    buffer.resize(static_cast<size_t>(n));
    QRgb *out = buffer.data();
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return reinterpret_cast<const QRgb *>(line) + x0;
    case QImage::Format_RGB888:
        for (int i = 0; i < n; ++i) {
            const uchar *p = line + 3 * (x0 + i);
            out[i] = qRgb(p[0], p[1], p[2]);
        }
        return out;
    case QImage::Format_BGR888:
        for (int i = 0; i < n; ++i) {
            const uchar *p = line + 3 * (x0 + i);
            out[i] = qRgb(p[2], p[1], p[0]);
        }
        return out;
    case QImage::Format_Indexed8:
        for (int i = 0; i < n; ++i)
            out[i] = table[line[x0 + i]];
        return out;
    case QImage::Format_RGB16:
        for (int i = 0; i < n; ++i) {
            const unsigned v = reinterpret_cast<const quint16 *>(line)[x0 + i];
            out[i] = qRgb(static_cast<int>((((v >> 11) & 31u) * 255u + 15u) / 31u),
                          static_cast<int>((((v >> 5) & 63u) * 255u + 31u) / 63u),
                          static_cast<int>(((v & 31u) * 255u + 15u) / 31u));
        }
        return out;
    case QImage::Format_RGB555:
        for (int i = 0; i < n; ++i) {
            const unsigned v = reinterpret_cast<const quint16 *>(line)[x0 + i];
            out[i] = qRgb(static_cast<int>((((v >> 10) & 31u) * 255u + 15u) / 31u),
                          static_cast<int>((((v >> 5) & 31u) * 255u + 15u) / 31u),
                          static_cast<int>(((v & 31u) * 255u + 15u) / 31u));
        }
        return out;
    case QImage::Format_Grayscale8:
        for (int i = 0; i < n; ++i) {
            const uchar g = line[x0 + i];
            out[i] = qRgb(g, g, g);
        }
        return out;
    default: {
        // Formats the decoder rarely yields: let Qt convert one row, starting on a byte boundary.
        const int depth = image.depth();
        const int skip = depth < 8 ? x0 % (8 / depth) : 0;
        const int first = x0 - skip;
        const QImage row(line + static_cast<qsizetype>(first) * depth / 8, n + skip, 1, image.bytesPerLine(),
                         image.format());
        QImage rowCopy = row.copy();
        if (image.colorCount() > 0)
            rowCopy.setColorTable(image.colorTable());
        const QImage converted = rowCopy.convertToFormat(QImage::Format_RGB32);
        std::memcpy(out, reinterpret_cast<const QRgb *>(converted.constScanLine(0)) + skip,
                    static_cast<size_t>(n) * sizeof(QRgb));
        return out;
    }
    }
}

// Eight dots of a most-significant-bit-first byte as eight bytes of 0 or 255, first dot first.
const quint64 *ExpandTable()
{
    static const auto table = [] {
        std::vector<quint64> t(256);
        for (unsigned b = 0; b < 256; ++b) {
            quint64 v = 0;
            for (unsigned p = 0; p < 8; ++p)
                if (b & (0x80u >> p))
                    v |= quint64(0xFF) << (8 * p);
            t[b] = v;
        }
        return t;
    }();
    return table.data();
}

} // namespace

CRowReader::CRowReader(const QImage &page, int x0, int x1) : m_page(page), m_x0(x0), m_x1(x1)
{
    switch (page.format()) {
    case QImage::Format_Mono:
        m_nCh = 1;
        break;
    case QImage::Format_BGR888:
        m_nCh = 3;
        m_r = 2;
        m_b = 0;
        break;
    case QImage::Format_RGB888:
        m_nCh = 3;
        m_r = 0;
        m_b = 2;
        break;
    default:
        m_nCh = 4; // QRgb in memory: blue, green, red, alpha
        m_r = 2;
        m_b = 0;
        m_table.fill(qRgb(0, 0, 0), 256);
        for (int k = 0; k < std::min(256, page.colorCount()); ++k)
            m_table[k] = page.color(k);
        break;
    }
}

const uchar *CRowReader::Row(int y)
{
    const uchar *line = m_page.constScanLine(y);
    switch (m_page.format()) {
    case QImage::Format_Mono: {
        const int k0 = m_x0 >> 3;
        const int k1 = (m_x1 - 1) >> 3;
        m_bytes.resize(static_cast<size_t>(k1 - k0 + 1) * 8);
        const quint64 *table = ExpandTable();
        for (int k = k0; k <= k1; ++k)
            std::memcpy(m_bytes.data() + static_cast<size_t>(k - k0) * 8, &table[line[k]], 8);
        return m_bytes.data() + (m_x0 & 7);
    }
    case QImage::Format_BGR888:
    case QImage::Format_RGB888:
        return line + 3 * static_cast<qsizetype>(m_x0);
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return line + 4 * static_cast<qsizetype>(m_x0);
    default:
        return reinterpret_cast<const uchar *>(FetchRow(m_page, m_table, y, m_x0, m_x1, m_rgb));
    }
}
