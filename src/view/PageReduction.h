#pragma once
// The page bitmap resampled to the device pixels it covers on the screen.

#include <QImage>
#include <QRect>
#include <QSize>
#include <QVector>

#include <vector>

class QPainter;

// The page bitmap resampled to the device pixels it covers on the screen. Where the page shrinks, each
// device pixel is the average of the printer dots whose centres fall into it, darkened where a line
// of the page crosses its block so that a black line one dot wide shows at least mid-grey at any
// reduction (docs/page-reduction.md); where it grows, each device pixel repeats the dot under its
// centre, so dots stay crisp.
//
// A page that shrinks on both axes is reduced once per size into a cache, when the cache takes less
// memory than the page itself and fits the cache budget; the cache fills tile by tile as paints first
// show each part, so a zoom change costs the window's worth, not the page's. Otherwise each paint
// resamples only the part it shows. Either way a paint costs in proportion to the pixels it paints,
// not to the page's length. The budget keeps a long page at a mild reduction (a 24-bit tape of
// 1200 x 30000 dots at 300 % would take some 90 MB) from growing the process by the size of its
// reduced copy to save a few milliseconds a repaint.
class CPageReduction {
public:
    // Prepares drawing `page` at `size` device pixels. Does nothing when page and size are those
    // already prepared; sets up the (still empty) cache when one applies.
    void Prepare(const QImage &page, const QSize &size);
    // Drops the page and the cache.
    void Clear();

    // The part `part` of the resampled page (device pixels, within 0..size) as an image: RGB32, or
    // a copy of the cache (8 bits with a colour table for a two-colour page).
    QImage Render(const QRect &part);
    // Draws the part `part` with its top-left corner at `at`, in the painter's device pixels (the
    // painter's transformation must map one unit to one device pixel).
    void Draw(QPainter &painter, const QRect &part, const QPoint &at);

    // The most memory a cache may take; the default is kDefaultCacheBudget. Applies from the next
    // Prepare of another page or size.
    static constexpr qint64 kDefaultCacheBudget = 16 * 1024 * 1024;
    void SetCacheBudget(qint64 nBytes) { m_nCacheBudget = nBytes; }

    bool IsPrepared() const { return !m_page.isNull() && !m_size.isEmpty(); }
    bool IsCached() const { return !m_cache.isNull(); }
    QSize Size() const { return m_size; }
    qint64 CacheBytes() const;

private:
    // The part resampled afresh, as RGB32.
    QImage RenderRows(const QRect &part) const;
    // Resamples the cache's tiles under part that no paint has needed yet.
    void EnsureCached(const QRect &part);

    static constexpr int kTile = 128;

    QImage m_page;
    QSize m_size;
    qint64 m_nPageKey = 0;
    bool m_bMono = false;       // Format_Mono: resampled through counts of set bits
    QVector<QRgb> m_monoColors; // 256 levels from colour 0 to colour 1
    // Source span [m_xLo[i], m_xHi[i]) of device column i, and the same for rows.
    std::vector<int> m_xLo, m_xHi, m_yLo, m_yHi;
    // 8 bits with the two-colour page's 256 levels, else RGB32; tiles of kTile pixels square.
    QImage m_cache;
    std::vector<char> m_tileReady;
    int m_nTilesX = 0;
    int m_nTilesY = 0;
    qint64 m_nCacheBudget = kDefaultCacheBudget;
};
