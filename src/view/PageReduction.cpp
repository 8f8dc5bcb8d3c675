// CPageReduction: the page resampled to device pixels in cached tiles, and drawn.
#include "view/PageReduction.h"

#include "view/PageResample.h"

#include <QPainter>

#include <algorithm>

namespace {

QRgb TableColor(const QImage &image, int index)
{
    return index < image.colorCount() ? image.color(index) : qRgb(0, 0, 0);
}

} // namespace

using PageResample::MakeSpans;
using PageResample::Resample;

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
            m_monoColors[k] =
                qRgb(mix(qRed(c0), qRed(c1)), mix(qGreen(c0), qGreen(c1)), mix(qBlue(c0), qBlue(c1)));
        }
    }
    MakeSpans(page.width(), size.width(), m_xLo, m_xHi);
    MakeSpans(page.height(), size.height(), m_yLo, m_yHi);

    const bool shrinks = size.width() < page.width() && size.height() < page.height();
    const qint64 bytesPerPixel = m_bMono ? 1 : 4;
    const qint64 cacheBytes = static_cast<qint64>(size.width()) * size.height() * bytesPerPixel;
    if (shrinks && cacheBytes < page.sizeInBytes() && cacheBytes <= m_nCacheBudget) {
        m_cache = QImage(size, m_bMono ? QImage::Format_Indexed8 : QImage::Format_RGB32);
        if (m_cache.isNull())
            return; // no memory for the cache: every paint resamples what it shows
        if (m_bMono)
            m_cache.setColorTable(m_monoColors);
        m_nTilesX = (size.width() + kTile - 1) / kTile;
        m_nTilesY = (size.height() + kTile - 1) / kTile;
        m_tileReady.assign(static_cast<size_t>(m_nTilesX) * static_cast<size_t>(m_nTilesY), 0);
    }
}

void CPageReduction::EnsureCached(const QRect &part)
{
    const int bytesPerPixel = m_cache.depth() / 8;
    for (int ty = part.top() / kTile; ty <= part.bottom() / kTile; ++ty) {
        for (int tx = part.left() / kTile; tx <= part.right() / kTile; ++tx) {
            char &ready = m_tileReady[static_cast<size_t>(ty) * static_cast<size_t>(m_nTilesX) +
                                      static_cast<size_t>(tx)];
            if (ready)
                continue;
            const QRect tile =
                QRect(tx * kTile, ty * kTile, kTile, kTile).intersected(QRect(QPoint(0, 0), m_size));
            // The tile's place in the cache, written in place.
            QImage into(m_cache.scanLine(tile.top()) + static_cast<qsizetype>(tile.left()) * bytesPerPixel,
                        tile.width(), tile.height(), m_cache.bytesPerLine(), m_cache.format());
            Resample(m_page, m_xLo, m_xHi, m_yLo, m_yHi, tile, m_monoColors, into);
            ready = 1;
        }
    }
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
    m_tileReady.clear();
    m_nTilesX = m_nTilesY = 0;
}

qint64 CPageReduction::CacheBytes() const
{
    return m_cache.isNull() ? 0 : m_cache.sizeInBytes();
}

QImage CPageReduction::Render(const QRect &part)
{
    if (!IsPrepared())
        return QImage();
    const QRect r = part.intersected(QRect(QPoint(0, 0), m_size));
    if (r.isEmpty())
        return QImage();
    if (IsCached()) {
        EnsureCached(r);
        return m_cache.copy(r);
    }
    return RenderRows(r);
}

QImage CPageReduction::RenderRows(const QRect &part) const
{
    QImage out(part.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    Resample(m_page, m_xLo, m_xHi, m_yLo, m_yHi, part, m_monoColors, out);
    return out;
}

void CPageReduction::Draw(QPainter &painter, const QRect &part, const QPoint &at)
{
    if (!IsPrepared())
        return;
    const QRect r = part.intersected(QRect(QPoint(0, 0), m_size));
    if (r.isEmpty())
        return;
    const QPoint target = at + (r.topLeft() - part.topLeft());
    if (IsCached()) {
        EnsureCached(r);
        painter.drawImage(target, m_cache, r);
    } else {
        // Resampled in strips that stay in the processor's cache between resampling and drawing.
        constexpr int kStrip = 32;
        QImage strip(r.width(), std::min(kStrip, r.height()), QImage::Format_RGB32);
        if (strip.isNull())
            return;
        for (int y = r.top(); y <= r.bottom(); y += kStrip) {
            const QRect band(r.left(), y, r.width(), std::min(kStrip, r.bottom() + 1 - y));
            Resample(m_page, m_xLo, m_xHi, m_yLo, m_yHi, band, m_monoColors, strip);
            painter.drawImage(target + QPoint(0, y - r.top()), strip, QRect(QPoint(0, 0), band.size()));
        }
    }
}
