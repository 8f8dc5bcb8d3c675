// The page resampled to device pixels: thin strokes survive a reduction as grey, growth keeps dots
// crisp, parts painted alone match the whole, and the cache stays smaller than the page.
#include "view/PageReduction.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

namespace {

// A two-colour page, white (index 0) with black (index 1) one-dot lines every `period` dots.
QImage MonoLines(int w, int h, int period, bool vertical)
{
    QImage page(w, h, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((vertical ? x : y) % period == 0)
                page.setPixel(x, y, 1);
    return page;
}

int Grey(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

// At 25 % on a 96-dpi screen a 360-dpi page shrinks 15-fold: 1417 x 340 dots become 94 x 23 pixels.
TEST(Reduction, OneDotLinesStayGreyAtAQuarter)
{
    for (bool vertical : {true, false}) {
        const QImage page = MonoLines(1417, 340, 16, vertical);
        CPageReduction reduction;
        reduction.Prepare(page, QSize(94, 23));
        const QImage out = reduction.Render(QRect(0, 0, 94, 23));
        ASSERT_EQ(out.size(), QSize(94, 23));
        // Every line lands in the pixel that holds its centre, and shows there as grey.
        const int n = vertical ? 1417 : 340;
        const int N = vertical ? 94 : 23;
        for (int line = 0; line < n; line += 16) {
            const int i = static_cast<int>((2LL * line + 1) * N / (2LL * n));
            for (int k = 0; k < (vertical ? 23 : 94); ++k) {
                const int g = vertical ? Grey(out, i, k) : Grey(out, k, i);
                EXPECT_LT(g, 250) << (vertical ? "column " : "row ") << i << " of line " << line;
                EXPECT_GT(g, 150);
            }
        }
    }
}

TEST(Reduction, AverageOfTheDotsInEachPixel)
{
    // A checkerboard halves to mid grey; 3 of 4 black dots give a quarter of white.
    QImage page(4, 2, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    page.setPixel(0, 0, 1);
    page.setPixel(1, 1, 1);
    page.setPixel(2, 0, 1);
    page.setPixel(3, 0, 1);
    page.setPixel(3, 1, 1);
    CPageReduction reduction;
    reduction.Prepare(page, QSize(2, 1));
    const QImage out = reduction.Render(QRect(0, 0, 2, 1));
    EXPECT_NEAR(Grey(out, 0, 0), 128, 1);
    EXPECT_NEAR(Grey(out, 1, 0), 64, 1);

    QImage colour(2, 2, QImage::Format_RGB32);
    colour.setPixel(0, 0, qRgb(200, 0, 0));
    colour.setPixel(1, 0, qRgb(0, 100, 0));
    colour.setPixel(0, 1, qRgb(0, 0, 40));
    colour.setPixel(1, 1, qRgb(0, 0, 0));
    reduction.Prepare(colour, QSize(1, 1));
    EXPECT_EQ(reduction.Render(QRect(0, 0, 1, 1)).pixel(0, 0), qRgb(50, 25, 10));
}

TEST(Reduction, TallBoxesDoNotOverflow)
{
    // 600 rows into one pixel: more than 16-bit sums of bytes can hold at once.
    QImage colour(3, 600, QImage::Format_RGB32);
    colour.fill(qRgb(255, 254, 253));
    CPageReduction reduction;
    reduction.Prepare(colour, QSize(1, 1));
    EXPECT_EQ(reduction.Render(QRect(0, 0, 1, 1)).pixel(0, 0), qRgb(255, 254, 253));
    QImage mono(9, 700, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(1);
    reduction.Prepare(mono, QSize(1, 1));
    EXPECT_EQ(reduction.Render(QRect(0, 0, 1, 1)).pixel(0, 0), qRgb(0, 0, 0));
}

TEST(Reduction, TwoColourPageKeepsItsColours)
{
    QImage page(2, 1, QImage::Format_Mono);
    page.setColorTable({qRgb(0, 0, 255), qRgb(255, 255, 0)});
    page.setPixel(0, 0, 0);
    page.setPixel(1, 0, 1);
    CPageReduction reduction;
    reduction.Prepare(page, QSize(4, 1));
    const QImage grown = reduction.Render(QRect(0, 0, 4, 1));
    EXPECT_EQ(grown.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(grown.pixel(1, 0), qRgb(0, 0, 255));
    EXPECT_EQ(grown.pixel(2, 0), qRgb(255, 255, 0));
    reduction.Prepare(page, QSize(1, 1));
    EXPECT_EQ(reduction.Render(QRect(0, 0, 1, 1)).pixel(0, 0), qRgb(128, 128, 127));
}

TEST(Reduction, GrowingRepeatsEachDot)
{
    QImage page(3, 2, QImage::Format_BGR888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            page.setPixel(x, y, qRgb(10 * x, 100 + 50 * y, 7));
    CPageReduction reduction;
    reduction.Prepare(page, QSize(9, 4));
    const QImage out = reduction.Render(QRect(0, 0, 9, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(out.pixel(x, y), page.pixel(x / 3, y / 2)) << x << "," << y;
}

QImage RandomPage(QImage::Format format, int w, int h)
{
    QImage page(w, h, format);
    if (format == QImage::Format_Mono)
        page.setColorTable({qRgb(250, 240, 230), qRgb(5, 10, 20)});
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int k = 0; k < 256; ++k)
            table.append(qRgb(k, 255 - k, (k * 7) & 255));
        page.setColorTable(table);
    }
    QRandomGenerator random(4711);
    for (int y = 0; y < h; ++y) {
        uchar *line = page.scanLine(y);
        for (qsizetype i = 0; i < page.bytesPerLine(); ++i)
            line[i] = static_cast<uchar>(random.bounded(256));
    }
    return page;
}

struct PartCase {
    const char *name;
    QImage::Format format;
    QSize size;
    bool bCached;
};

void PrintTo(const PartCase &c, std::ostream *os)
{
    *os << c.name;
}

class ReductionPart : public ::testing::TestWithParam<PartCase> {};

// A paint renders only the exposed part; the pixels must be those of the whole page.
TEST_P(ReductionPart, MatchesTheWholePage)
{
    const PartCase &c = GetParam();
    const QImage page = RandomPage(c.format, 700, 300);
    CPageReduction reduction;
    reduction.Prepare(page, c.size);
    EXPECT_EQ(reduction.IsCached(), c.bCached);
    const QImage whole = reduction.Render(QRect(QPoint(0, 0), c.size)).convertToFormat(QImage::Format_RGB32);
    // A part across tile borders, resampled by a reduction that has shown nothing before.
    const QRect part(c.size.width() / 3, c.size.height() / 4, c.size.width() / 2, c.size.height() / 2);
    CPageReduction fresh;
    fresh.Prepare(page, c.size);
    const QImage alone = fresh.Render(part).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(alone, whole.copy(part));

    QImage drawn(c.size, QImage::Format_RGB32);
    drawn.fill(qRgb(224, 224, 224));
    {
        CPageReduction painted;
        painted.Prepare(page, c.size);
        QPainter painter(&drawn);
        painted.Draw(painter, part, part.topLeft());
    }
    EXPECT_EQ(drawn.copy(part), whole.copy(part));
    EXPECT_EQ(drawn.pixel(0, 0), qRgb(224, 224, 224));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ReductionPart,
    ::testing::Values(PartCase{"mono_cached", QImage::Format_Mono, QSize(200, 100), true},
                      PartCase{"mono_uncached", QImage::Format_Mono, QSize(400, 200), false},
                      PartCase{"mono_grown", QImage::Format_Mono, QSize(1400, 700), false},
                      PartCase{"indexed_uncached", QImage::Format_Indexed8, QSize(400, 200), false},
                      PartCase{"indexed_cached", QImage::Format_Indexed8, QSize(200, 100), true},
                      PartCase{"bgr_cached", QImage::Format_BGR888, QSize(400, 200), true},
                      PartCase{"rgb16_mixed", QImage::Format_RGB16, QSize(300, 600), false},
                      PartCase{"rgb555_grown", QImage::Format_RGB555, QSize(1000, 500), false},
                      PartCase{"rgb32_grown", QImage::Format_RGB32, QSize(1400, 400), false}),
    [](const ::testing::TestParamInfo<PartCase> &param) { return std::string(param.param.name); });

TEST(Reduction, CacheOnlyWhenSmallerThanThePageAndWithinTheBudget)
{
    const QImage mono = RandomPage(QImage::Format_Mono, 1417, 340);
    CPageReduction reduction;
    reduction.Prepare(mono, QSize(378, 91)); // 100 %: 34 KB against 60 KB
    EXPECT_TRUE(reduction.IsCached());
    EXPECT_LT(reduction.CacheBytes(), mono.sizeInBytes());
    reduction.Prepare(mono, QSize(761, 183)); // whole label: 139 KB would exceed the page
    EXPECT_FALSE(reduction.IsCached());
    EXPECT_EQ(reduction.CacheBytes(), 0);
    reduction.Prepare(mono, QSize(1511, 363)); // growing: never cached
    EXPECT_FALSE(reduction.IsCached());

    const QImage colour = RandomPage(QImage::Format_BGR888, 600, 400);
    reduction.Prepare(colour, QSize(500, 300));
    EXPECT_TRUE(reduction.IsCached());
    EXPECT_LT(reduction.CacheBytes(), colour.sizeInBytes());

    // A 24-bit tape of 1200 x 30000 dots at 360 dpi on a 96-dpi screen: at 300 % (0.8 pixels a dot)
    // the copy would take 92 MB, past the budget, though smaller than the page's 108 MB; at 100 %
    // 10 MB fits.
    QImage tape(1200, 30000, QImage::Format_BGR888);
    ASSERT_FALSE(tape.isNull());
    tape.fill(Qt::white);
    reduction.Prepare(tape, QSize(960, 24000));
    EXPECT_FALSE(reduction.IsCached());
    reduction.Prepare(tape, QSize(320, 8000));
    EXPECT_TRUE(reduction.IsCached());
    EXPECT_LE(reduction.CacheBytes(), CPageReduction::kDefaultCacheBudget);
}

TEST(Reduction, NewPageOrSizeIsResampledAgain)
{
    CPageReduction reduction;
    QImage page(4, 4, QImage::Format_RGB32);
    page.fill(qRgb(0, 0, 0));
    reduction.Prepare(page, QSize(2, 2));
    EXPECT_EQ(reduction.Render(QRect(0, 0, 1, 1)).pixel(0, 0), qRgb(0, 0, 0));
    page.fill(qRgb(255, 255, 255)); // a modified page is another page
    reduction.Prepare(page, QSize(2, 2));
    EXPECT_EQ(reduction.Render(QRect(0, 0, 1, 1)).pixel(0, 0), qRgb(255, 255, 255));
    reduction.Prepare(page, QSize(0, 2));
    EXPECT_FALSE(reduction.IsPrepared());
    EXPECT_TRUE(reduction.Render(QRect(0, 0, 1, 1)).isNull());
}

} // namespace
