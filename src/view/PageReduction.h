#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QVector>

#include <vector>

class QPainter;

// The page bitmap resampled to the device pixels it covers on the screen. Where the page shrinks, each
// device pixel is the average of the printer dots whose centres fall into it, so a line one dot wide
// stays visible as grey at any reduction; where it grows, each device pixel repeats the dot under its
// centre, so dots stay crisp.
//
// A page that shrinks on both axes is reduced once per size into a cache, when the cache takes less
// memory than the page itself; otherwise each paint resamples only the part it shows. Either way a
// paint costs in proportion to the pixels it paints, not to the page's length.
class CPageReduction {
public:
    // Prepares drawing `page` at `size` device pixels. Does nothing when page and size are those
    // already prepared; builds the cache when one applies.
    void Prepare(const QImage &page, const QSize &size);
    // Drops the page and the cache.
    void Clear();

    // The part `part` of the resampled page (device pixels, within 0..size) as an image; RGB32, or
    // an 8-bit image with a colour table for a two-colour page.
    QImage Render(const QRect &part) const;
    // Draws the part `part` with its top-left corner at `at`, in the painter's device pixels (the
    // painter's transformation must map one unit to one device pixel).
    void Draw(QPainter &painter, const QRect &part, const QPoint &at) const;

    bool IsPrepared() const { return !m_page.isNull() && !m_size.isEmpty(); }
    bool IsCached() const { return !m_cache.isNull(); }
    QSize Size() const { return m_size; }
    qint64 CacheBytes() const;

private:
    QImage RenderRows(const QRect &part) const;

    QImage m_page;
    QSize m_size;
    qint64 m_nPageKey = 0;
    bool m_bMono = false;       // Format_Mono: resampled through counts of set bits
    QVector<QRgb> m_monoColors; // 256 levels from colour 0 to colour 1
    // Source span [m_xLo[i], m_xHi[i]) of device column i, and the same for rows.
    std::vector<int> m_xLo, m_xHi, m_yLo, m_yHi;
    QImage m_cache;
};
