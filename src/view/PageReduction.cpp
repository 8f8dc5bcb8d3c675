#include "view/PageReduction.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Device index i of n source dots spread over N device pixels. Shrinking (N < n): the dots whose
// centres fall into pixel i, that is (x + 0.5) * N / n in [i, i + 1), so x from
// ceil(i * n / N - 0.5) = floor((2 i n + N - 1) / 2N) up to the next pixel's first dot; every dot
// belongs to exactly one pixel. Growing (N >= n): the one dot under the pixel's centre,
// x = floor((i + 0.5) * n / N).
void MakeSpans(int n, int N, std::vector<int> &lo, std::vector<int> &hi)
{
    lo.assign(static_cast<size_t>(N), 0);
    hi.assign(static_cast<size_t>(N), 0);
    const qint64 n64 = n;
    const qint64 N64 = N;
    if (N < n) {
        for (qint64 i = 0; i < N64; ++i)
            lo[static_cast<size_t>(i)] = static_cast<int>((2 * i * n64 + N64 - 1) / (2 * N64));
        for (qint64 i = 0; i + 1 < N64; ++i)
            hi[static_cast<size_t>(i)] = lo[static_cast<size_t>(i + 1)];
        if (N > 0)
            hi[static_cast<size_t>(N - 1)] = n;
    } else {
        for (qint64 i = 0; i < N64; ++i) {
            const int x = static_cast<int>(std::min<qint64>((2 * i * n64 + n64) / (2 * N64), n64 - 1));
            lo[static_cast<size_t>(i)] = x;
            hi[static_cast<size_t>(i)] = x + 1;
        }
    }
}

int MaxSpan(const std::vector<int> &lo, const std::vector<int> &hi)
{
    int m = 0;
    for (size_t i = 0; i < lo.size(); ++i)
        m = std::max(m, hi[i] - lo[i]);
    return m;
}

QRgb TableColor(const QImage &image, int index)
{
    return index < image.colorCount() ? image.color(index) : qRgb(0, 0, 0);
}

// Set bits of a most-significant-bit-first row in [a, b), a < b.
int CountOnes(const uchar *row, int a, int b)
{
    const int ka = a >> 3;
    const int kb = (b - 1) >> 3;
    const unsigned ma = 0xFFu >> (a & 7);
    const unsigned mb = (0xFFu << (7 - ((b - 1) & 7))) & 0xFFu;
    if (ka == kb)
        return __builtin_popcount(row[ka] & ma & mb);
    int n = __builtin_popcount(row[ka] & ma) + __builtin_popcount(row[kb] & mb);
    for (int k = ka + 1; k < kb; ++k)
        n += __builtin_popcount(row[k]);
    return n;
}

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

template <typename Acc>
void RenderMono(const QImage &page, const std::vector<int> &xLo, const std::vector<int> &xHi,
                const std::vector<int> &yLo, const std::vector<int> &yHi, const QRect &part, QImage &out)
{
    const int w = part.width();
    std::vector<Acc> counts(static_cast<size_t>(w));
    for (int j = 0; j < part.height(); ++j) {
        const size_t sj = static_cast<size_t>(part.top() + j);
        uchar *dst = out.scanLine(j);
        if (j > 0 && yLo[sj] == yLo[sj - 1] && yHi[sj] == yHi[sj - 1]) {
            std::memcpy(dst, out.constScanLine(j - 1), static_cast<size_t>(w));
            continue;
        }
        std::fill(counts.begin(), counts.end(), Acc(0));
        for (int y = yLo[sj]; y < yHi[sj]; ++y) {
            const uchar *row = page.constScanLine(y);
            for (int i = 0; i < w; ++i) {
                const size_t si = static_cast<size_t>(part.left() + i);
                counts[static_cast<size_t>(i)] += static_cast<Acc>(CountOnes(row, xLo[si], xHi[si]));
            }
        }
        const double rowArea = yHi[sj] - yLo[sj];
        for (int i = 0; i < w; ++i) {
            const size_t si = static_cast<size_t>(part.left() + i);
            const double area = rowArea * (xHi[si] - xLo[si]);
            dst[i] = static_cast<uchar>(255.0 * static_cast<double>(counts[static_cast<size_t>(i)]) / area + 0.5);
        }
    }
}

template <typename Acc>
void RenderColor(const QImage &page, const std::vector<int> &xLo, const std::vector<int> &xHi,
                 const std::vector<int> &yLo, const std::vector<int> &yHi, const QRect &part, QImage &out)
{
    const int w = part.width();
    const int x0 = xLo[static_cast<size_t>(part.left())];
    const int x1 = xHi[static_cast<size_t>(part.right())];
    QVector<QRgb> table(256, qRgb(0, 0, 0));
    for (int k = 0; k < std::min(256, page.colorCount()); ++k)
        table[k] = page.color(k);
    std::vector<QRgb> buffer;
    std::vector<Acc> sums(static_cast<size_t>(3 * w));
    std::vector<float> invWidth(static_cast<size_t>(w));
    for (int i = 0; i < w; ++i) {
        const size_t si = static_cast<size_t>(part.left() + i);
        invWidth[static_cast<size_t>(i)] = 1.0f / static_cast<float>(xHi[si] - xLo[si]);
    }
    for (int j = 0; j < part.height(); ++j) {
        const size_t sj = static_cast<size_t>(part.top() + j);
        QRgb *dst = reinterpret_cast<QRgb *>(out.scanLine(j));
        if (j > 0 && yLo[sj] == yLo[sj - 1] && yHi[sj] == yHi[sj - 1]) {
            std::memcpy(dst, out.constScanLine(j - 1), static_cast<size_t>(w) * sizeof(QRgb));
            continue;
        }
        std::fill(sums.begin(), sums.end(), Acc(0));
        for (int y = yLo[sj]; y < yHi[sj]; ++y) {
            const QRgb *row = FetchRow(page, table, y, x0, x1, buffer);
            Acc *s = sums.data();
            for (int i = 0; i < w; ++i, s += 3) {
                const size_t si = static_cast<size_t>(part.left() + i);
                for (int x = xLo[si]; x < xHi[si]; ++x) {
                    const QRgb p = row[x - x0];
                    s[0] += static_cast<Acc>(qRed(p));
                    s[1] += static_cast<Acc>(qGreen(p));
                    s[2] += static_cast<Acc>(qBlue(p));
                }
            }
        }
        const float invHeight = 1.0f / static_cast<float>(yHi[sj] - yLo[sj]);
        const Acc *s = sums.data();
        for (int i = 0; i < w; ++i, s += 3) {
            const float f = invWidth[static_cast<size_t>(i)] * invHeight;
            dst[i] = qRgb(static_cast<int>(static_cast<float>(s[0]) * f + 0.5f),
                          static_cast<int>(static_cast<float>(s[1]) * f + 0.5f),
                          static_cast<int>(static_cast<float>(s[2]) * f + 0.5f));
        }
    }
}

} // namespace

void CPageReduction::Prepare(const QImage &page, const QSize &size)
{
    if (page.isNull() || size.isEmpty()) {
        Clear();
        return;
    }
    if (page.cacheKey() == m_nPageKey && size == m_size && !m_page.isNull())
        return;
    Clear();
    m_page = page;
    m_nPageKey = page.cacheKey();
    m_size = size;
    m_bMono = page.format() == QImage::Format_Mono;
    if (m_bMono) {
        const QRgb c0 = TableColor(page, 0);
        const QRgb c1 = TableColor(page, 1);
        m_monoColors.resize(256);
        for (int k = 0; k < 256; ++k) {
            const auto mix = [k](int a, int b) { return (a * (255 - k) + b * k + 127) / 255; };
            m_monoColors[k] = qRgb(mix(qRed(c0), qRed(c1)), mix(qGreen(c0), qGreen(c1)), mix(qBlue(c0), qBlue(c1)));
        }
    }
    MakeSpans(page.width(), size.width(), m_xLo, m_xHi);
    MakeSpans(page.height(), size.height(), m_yLo, m_yHi);

    const bool shrinks = size.width() < page.width() && size.height() < page.height();
    const qint64 bytesPerPixel = m_bMono ? 1 : 4;
    const qint64 cacheBytes = static_cast<qint64>(size.width()) * size.height() * bytesPerPixel;
    if (shrinks && cacheBytes < page.sizeInBytes())
        m_cache = RenderRows(QRect(QPoint(0, 0), size));
}

void CPageReduction::Clear()
{
    m_page = QImage();
    m_nPageKey = 0;
    m_size = QSize();
    m_bMono = false;
    m_monoColors.clear();
    m_xLo.clear();
    m_xHi.clear();
    m_yLo.clear();
    m_yHi.clear();
    m_cache = QImage();
}

qint64 CPageReduction::CacheBytes() const
{
    return m_cache.isNull() ? 0 : m_cache.sizeInBytes();
}

QImage CPageReduction::Render(const QRect &part) const
{
    if (!IsPrepared())
        return QImage();
    const QRect r = part.intersected(QRect(QPoint(0, 0), m_size));
    if (r.isEmpty())
        return QImage();
    if (IsCached())
        return m_cache.copy(r);
    return RenderRows(r);
}

QImage CPageReduction::RenderRows(const QRect &part) const
{
    QImage out(part.size(), m_bMono ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    if (out.isNull())
        return out;
    if (m_bMono)
        out.setColorTable(m_monoColors);
    // The sums of one device pixel hold at most its box's dots times 255.
    const qint64 area = static_cast<qint64>(MaxSpan(m_xLo, m_xHi)) * MaxSpan(m_yLo, m_yHi);
    const bool wide = area > static_cast<qint64>(std::numeric_limits<quint32>::max() / 255);
    if (m_bMono) {
        if (wide)
            RenderMono<quint64>(m_page, m_xLo, m_xHi, m_yLo, m_yHi, part, out);
        else
            RenderMono<quint32>(m_page, m_xLo, m_xHi, m_yLo, m_yHi, part, out);
    } else {
        if (wide)
            RenderColor<quint64>(m_page, m_xLo, m_xHi, m_yLo, m_yHi, part, out);
        else
            RenderColor<quint32>(m_page, m_xLo, m_xHi, m_yLo, m_yHi, part, out);
    }
    return out;
}

void CPageReduction::Draw(QPainter &painter, const QRect &part, const QPoint &at) const
{
    if (!IsPrepared())
        return;
    const QRect r = part.intersected(QRect(QPoint(0, 0), m_size));
    if (r.isEmpty())
        return;
    const QPoint target = at + (r.topLeft() - part.topLeft());
    if (IsCached())
        painter.drawImage(target, m_cache, r);
    else
        painter.drawImage(target, RenderRows(r));
}
