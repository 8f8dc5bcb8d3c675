// The page resampled to device pixels: thin strokes survive a reduction as grey, growth keeps dots
// crisp, parts painted alone match the whole, and the cache stays smaller than the page.
#include "view/PageReduction.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

int Grey(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y));
}

// A page of dpi dots per inch shown at zoom percent on a 96-dpi screen: n dots become
// lround(n x 96 x zoom / 100 / dpi) pixels.
int Shown(int n, int nDpi, int nZoom)
{
    return std::max(1, static_cast<int>(std::lround(n * 0.96 * nZoom / nDpi)));
}

// Darkness 0 (white) to 1 (black) of a grey.
double Dark(QRgb c)
{
    return 1.0 - qGray(c) / 255.0;
}

// An 8 x 8 ordered dither of tone t, or error diffusion (Floyd-Steinberg) of tone t, on a w x h page.
QImage Halftone(int w, int h, double t, bool diffused)
{
    static const int bayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    QImage page(w, h, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    std::vector<double> error(static_cast<size_t>(w + 2) * 2, 0.0);
    for (int y = 0; y < h; ++y) {
        double *cur = error.data() + (y % 2) * (w + 2) + 1;
        double *next = error.data() + ((y + 1) % 2) * (w + 2) + 1;
        std::fill(next - 1, next + w + 1, 0.0);
        for (int x = 0; x < w; ++x) {
            bool ink;
            if (diffused) {
                const double v = t + cur[x];
                ink = v >= 0.5;
                const double e = v - (ink ? 1.0 : 0.0);
                cur[x + 1] += e * 7 / 16;
                next[x - 1] += e * 3 / 16;
                next[x] += e * 5 / 16;
                next[x + 1] += e * 1 / 16;
            } else {
                ink = bayer[y % 8][x % 8] < t * 64;
            }
            page.setPixel(x, y, ink ? 1 : 0);
        }
    }
    return page;
}

struct LineCase {
    int nDpi;
    int nZoom;
};

class LinesAndTones : public ::testing::TestWithParam<LineCase> {};

// At every zoom of the view and 180 to 720 dpi: one-dot black lines on white, down and across, on a
// two-colour and a 24-bit page, show no lighter than mid-grey; solid and halftone areas keep their
// mean tone within 3 %.
TEST_P(LinesAndTones, OneDotLinesStayVisibleAndTonesKeepTheirMean)
{
    const LineCase &c = GetParam();
    constexpr int w = 1200, h = 400;
    QImage mono(w, h, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    const auto isLine = [](int v, int period) { return v % period == period / 2; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (isLine(x, 61) || isLine(y, 53))
                mono.setPixel(x, y, 1);
    const QSize size(Shown(w, c.nDpi, c.nZoom), Shown(h, c.nDpi, c.nZoom));
    for (const QImage &page : {mono, mono.convertToFormat(QImage::Format_BGR888)}) {
        CPageReduction reduction;
        reduction.Prepare(page, size);
        const QImage out = reduction.Render(QRect(QPoint(0, 0), size));
        ASSERT_EQ(out.size(), size);
        // The pixel that holds a line's centre, down its whole length.
        for (int x = 0; x < w; ++x) {
            if (!isLine(x, 61))
                continue;
            const int i = static_cast<int>((2LL * x + 1) * size.width() / (2LL * w));
            for (int k = 0; k < size.height(); ++k)
                ASSERT_LE(qGray(out.pixel(i, k)), 128) << "line at x " << x << ", pixel " << i << "," << k;
        }
        for (int y = 0; y < h; ++y) {
            if (!isLine(y, 53))
                continue;
            const int j = static_cast<int>((2LL * y + 1) * size.height() / (2LL * h));
            for (int k = 0; k < size.width(); ++k)
                ASSERT_LE(qGray(out.pixel(k, j)), 128) << "line at y " << y << ", pixel " << k << "," << j;
        }
    }
    for (const double tone : {0.125, 0.25, 0.375, 0.5, 0.75, 1.0}) {
        for (const bool diffused : {false, true}) {
            const QImage page = Halftone(480, 480, tone, diffused);
            const QSize shown(Shown(480, c.nDpi, c.nZoom), Shown(480, c.nDpi, c.nZoom));
            CPageReduction reduction;
            reduction.Prepare(page, shown);
            const QImage out = reduction.Render(QRect(QPoint(0, 0), shown));
            double source = 0, reduced = 0;
            for (int y = 0; y < 480; ++y)
                for (int x = 0; x < 480; ++x)
                    source += page.pixelIndex(x, y);
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    reduced += Dark(out.pixel(x, y));
            EXPECT_NEAR(reduced / (shown.width() * shown.height()), source / (480.0 * 480.0), 0.03)
                << "tone " << tone << (diffused ? " diffused" : " ordered");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    DpiAndZoom, LinesAndTones,
    ::testing::Values(LineCase{180, 25}, LineCase{180, 50}, LineCase{180, 75}, LineCase{180, 100},
                      LineCase{180, 150}, LineCase{360, 25}, LineCase{360, 50}, LineCase{360, 75},
                      LineCase{360, 100}, LineCase{360, 150}, LineCase{360, 200}, LineCase{360, 300},
                      LineCase{720, 25}, LineCase{720, 33}, LineCase{720, 50}, LineCase{720, 75},
                      LineCase{720, 100}, LineCase{720, 150}, LineCase{720, 200}, LineCase{720, 300},
                      LineCase{720, 400}, LineCase{720, 600}),
    [](const ::testing::TestParamInfo<LineCase> &param) {
        return "dpi" + std::to_string(param.param.nDpi) + "_zoom" + std::to_string(param.param.nZoom);
    });

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
