// The resampling kernel of the page view: source spans per device pixel, rows read as bytes, sums.
#include "view/PageResample.h"

#include "view/PageRowReader.h"

#include <algorithm>
#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// 16-bit sums hold 257 rows of bytes (257 x 255 = 65535).
constexpr int kRowsPer16Bits = 257;

// A line takes part when the block is at least kLineAcross dots across it and kLineAlong along it;
// a black line then shows at darkness kLineWeight (a little past mid-grey, so rounding keeps it
// there).
constexpr int kLineAcross = 3;
constexpr int kLineAlong = 2;
constexpr float kLineWeight = 0.51f;

// Adds a row of bytes to 16-bit sums, sixteen at a time where the processor has SSE2.
void AddRow(quint16 *sums, const uchar *row, size_t n)
{
    size_t k = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= n; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + k));
        __m128i *s = reinterpret_cast<__m128i *>(sums + k);
        _mm_storeu_si128(s, _mm_add_epi16(_mm_loadu_si128(s), _mm_unpacklo_epi8(bytes, zero)));
        _mm_storeu_si128(s + 1, _mm_add_epi16(_mm_loadu_si128(s + 1), _mm_unpackhi_epi8(bytes, zero)));
    }
#endif
    for (; k < n; ++k)
        sums[k] = static_cast<quint16>(sums[k] + row[k]);
}

} // namespace

namespace PageResample {

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

// Each output row sums the rows of its span column by column, then each output pixel the columns of
// its span, and divides by the dots counted. A row whose span equals the previous row's is a copy.
//
// Lines one dot wide would fade with the average alone (at 25 % a 720-dpi dot is a thirtieth of a
// pixel: a black line on white comes out 247 of 255). So each pixel also looks at the columns and the
// rows of its block: the darkness D of the darkest one (0 white, 1 black; the ink's share for a
// two-colour page), and the block's mean darkness Dm. A dark line across the block makes D near 1
// while Dm stays small; the pixel is then darkened toward the line's colour until its darkness is
// kLineWeight x (2D - 1), about one half for a black line: mid-grey. Solid areas have D = Dm, and
// halftones keep D near Dm or at most one half (an ordered dither below 50 % never fills a column),
// so 2D - 1 stays below Dm there and their tone is the average. Only blocks at least 3 dots across
// the line and 2 along it take part: with fewer, the average already keeps a line at mid-grey or
// darker. Lines at a slant, which cross no column or row of the block, keep the average.
void Resample(const QImage &page, const std::vector<int> &xLo, const std::vector<int> &xHi,
              const std::vector<int> &yLo, const std::vector<int> &yHi, const QRect &part,
              const QVector<QRgb> &monoColors, QImage &out)
{
    const int w = part.width();
    const size_t left = static_cast<size_t>(part.left());
    const int x0 = xLo[left];
    const int x1 = xHi[left + static_cast<size_t>(w) - 1];
    CRowReader reader(page, x0, x1);
    const int nCh = reader.Channels();
    const int r = reader.Red();
    const int b = reader.Blue();
    const bool indexed = out.format() == QImage::Format_Indexed8;
    const bool mono = nCh == 1;
    const size_t spanBytes = static_cast<size_t>(x1 - x0) * static_cast<size_t>(nCh);
    const size_t outBytes = static_cast<size_t>(w) * (indexed ? 1 : 4);

    // Per output column: the first byte of its span in the row, its width, and 1 / width.
    std::vector<int> first(static_cast<size_t>(w));
    std::vector<int> width(static_cast<size_t>(w));
    std::vector<float> invWidth(static_cast<size_t>(w));
    bool single = true;
    for (int i = 0; i < w; ++i) {
        const size_t si = left + static_cast<size_t>(i);
        first[static_cast<size_t>(i)] = (xLo[si] - x0) * nCh;
        width[static_cast<size_t>(i)] = xHi[si] - xLo[si];
        invWidth[static_cast<size_t>(i)] = 1.0f / static_cast<float>(xHi[si] - xLo[si]);
        single = single && xHi[si] - xLo[si] == 1;
    }
    std::vector<quint16> sums16(spanBytes);
    std::vector<quint32> sums32;

    // The ink of a two-colour page is its darker colour; levels count colour 1.
    const bool inkIsOne = mono && qGray(monoColors.value(255)) < qGray(monoColors.value(0));
    // Darkness of a run of n dots from its channel sums (bytes in the reader's order).
    const auto runDarkness = [&](const auto *sum, qint64 n, int stride) -> float {
        if (mono) {
            const float ones = static_cast<float>(sum[0]) / (255.0f * static_cast<float>(n));
            return inkIsOne ? ones : 1.0f - ones;
        }
        (void)stride;
        const float lum = (11.0f * static_cast<float>(sum[r]) + 16.0f * static_cast<float>(sum[1]) +
                           5.0f * static_cast<float>(sum[b])) /
                          32.0f;
        return 1.0f - lum / (255.0f * static_cast<float>(n));
    };
    // Per output pixel: the darkest row of the span within its columns, and that row's channel sums.
    std::vector<float> rowDark(static_cast<size_t>(w));
    std::vector<std::array<quint32, 3>> rowSums(static_cast<size_t>(w));
    const auto trackRow = [&](const uchar *row, int rows) {
        if (rows < kLineAcross)
            return;
        for (int i = 0; i < w; ++i) {
            const int n = width[static_cast<size_t>(i)];
            if (n < kLineAlong)
                continue;
            const uchar *p = row + first[static_cast<size_t>(i)];
            std::array<quint32, 3> sum = {0, 0, 0};
            for (int k = 0; k < n; ++k)
                for (int c = 0; c < nCh && c < 3; ++c)
                    sum[static_cast<size_t>(c)] += p[k * nCh + c];
            const float d = runDarkness(sum.data(), n, 1);
            if (d > rowDark[static_cast<size_t>(i)]) {
                rowDark[static_cast<size_t>(i)] = d;
                rowSums[static_cast<size_t>(i)] = sum;
            }
        }
    };

    for (int j = 0; j < part.height(); ++j) {
        const size_t sj = static_cast<size_t>(part.top() + j);
        uchar *dst = out.scanLine(j);
        if (j > 0 && yLo[sj] == yLo[sj - 1] && yHi[sj] == yHi[sj - 1]) {
            std::memcpy(dst, out.constScanLine(j - 1), outBytes);
            continue;
        }
        const int rows = yHi[sj] - yLo[sj];
        if (rows == 1 && single) {
            // One dot per pixel: a plain pick.
            const uchar *row = reader.Row(yLo[sj]);
            QRgb *d32 = reinterpret_cast<QRgb *>(dst);
            for (int i = 0; i < w; ++i) {
                const uchar *p = row + first[static_cast<size_t>(i)];
                if (mono) {
                    if (indexed)
                        dst[i] = p[0];
                    else
                        d32[i] = monoColors[p[0]];
                } else {
                    d32[i] = qRgb(p[r], p[1], p[b]);
                }
            }
            continue;
        }
        std::fill(rowDark.begin(), rowDark.end(), 0.0f);
        if (rows <= kRowsPer16Bits) {
            std::fill(sums16.begin(), sums16.end(), quint16(0));
            for (int y = yLo[sj]; y < yHi[sj]; ++y) {
                const uchar *row = reader.Row(y);
                AddRow(sums16.data(), row, spanBytes);
                trackRow(row, rows);
            }
        } else {
            sums32.assign(spanBytes, 0u);
            for (int y0 = yLo[sj]; y0 < yHi[sj]; y0 += kRowsPer16Bits) {
                std::fill(sums16.begin(), sums16.end(), quint16(0));
                for (int y = y0; y < std::min(yHi[sj], y0 + kRowsPer16Bits); ++y) {
                    const uchar *row = reader.Row(y);
                    AddRow(sums16.data(), row, spanBytes);
                    trackRow(row, rows);
                }
                for (size_t k = 0; k < spanBytes; ++k)
                    sums32[k] += sums16[k];
            }
        }
        const auto write = [&](const auto *sums) {
            const float invRows = 1.0f / static_cast<float>(rows);
            QRgb *d32 = reinterpret_cast<QRgb *>(dst);
            for (int i = 0; i < w; ++i) {
                const auto *s = sums + first[static_cast<size_t>(i)];
                const int n = width[static_cast<size_t>(i)];
                const float f = invWidth[static_cast<size_t>(i)] * invRows;
                // The darkest line of the block: a column (n >= 3 across, rows >= 2 along) or the
                // darkest row found while summing; its mean channel values.
                float lineDark = 0.0f;
                float line[3] = {0.0f, 0.0f, 0.0f};
                const bool columns = n >= kLineAcross && rows >= kLineAlong;
                if (rowDark[static_cast<size_t>(i)] > 0.0f) {
                    lineDark = rowDark[static_cast<size_t>(i)];
                    for (int c = 0; c < std::min(nCh, 3); ++c)
                        line[c] =
                            static_cast<float>(rowSums[static_cast<size_t>(i)][static_cast<size_t>(c)]) /
                            static_cast<float>(n);
                }
                if (mono) {
                    quint64 t = 0;
                    int darkest = -1;
                    for (int k = 0; k < n; ++k) {
                        t += s[k];
                        if (columns) {
                            const float d = runDarkness(s + k, rows, 1);
                            if (d > lineDark) {
                                lineDark = d;
                                darkest = k;
                            }
                        }
                    }
                    if (darkest >= 0)
                        line[0] = static_cast<float>(s[darkest]) / static_cast<float>(rows);
                    float level = static_cast<float>(t) * f;
                    const float target = kLineWeight * (2.0f * lineDark - 1.0f);
                    const float meanDark = inkIsOne ? level / 255.0f : 1.0f - level / 255.0f;
                    if (target > meanDark)
                        level = inkIsOne ? 255.0f * target : 255.0f * (1.0f - target);
                    const int out8 = std::clamp(static_cast<int>(level + 0.5f), 0, 255);
                    if (indexed)
                        dst[i] = static_cast<uchar>(out8);
                    else
                        d32[i] = monoColors[out8];
                } else {
                    quint64 t0 = 0, t1 = 0, t2 = 0;
                    int darkest = -1;
                    for (int k = 0; k < n; ++k) {
                        t0 += s[k * nCh];
                        t1 += s[k * nCh + 1];
                        t2 += s[k * nCh + 2];
                        if (columns) {
                            const float d = runDarkness(s + k * nCh, rows, nCh);
                            if (d > lineDark) {
                                lineDark = d;
                                darkest = k;
                            }
                        }
                    }
                    if (darkest >= 0)
                        for (int c = 0; c < 3; ++c)
                            line[c] = static_cast<float>(s[darkest * nCh + c]) / static_cast<float>(rows);
                    float mean[3] = {static_cast<float>(t0) * f, static_cast<float>(t1) * f,
                                     static_cast<float>(t2) * f};
                    const float target = kLineWeight * (2.0f * lineDark - 1.0f);
                    const float meanDark =
                        1.0f - (11.0f * mean[r] + 16.0f * mean[1] + 5.0f * mean[b]) / (32.0f * 255.0f);
                    if (target > meanDark && lineDark > meanDark) {
                        // Toward the line's colour until the darkness reaches the target.
                        const float u = (target - meanDark) / (lineDark - meanDark);
                        for (int c = 0; c < 3; ++c)
                            mean[c] += u * (line[c] - mean[c]);
                    }
                    const int c0 = std::clamp(static_cast<int>(mean[0] + 0.5f), 0, 255);
                    const int c1 = std::clamp(static_cast<int>(mean[1] + 0.5f), 0, 255);
                    const int c2 = std::clamp(static_cast<int>(mean[2] + 0.5f), 0, 255);
                    d32[i] = r == 0 ? qRgb(c0, c1, c2) : qRgb(c2, c1, c0);
                }
            }
        };
        if (rows <= kRowsPer16Bits)
            write(sums16.data());
        else
            write(sums32.data());
    }
}

} // namespace PageResample
