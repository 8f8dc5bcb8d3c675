#pragma once
// Resampling a page bitmap to device pixels: source spans per pixel and the kernel.

#include <QImage>
#include <QRect>
#include <QVector>

#include <vector>

// Resampling a page bitmap to device pixels, the work behind CPageReduction.
namespace PageResample {

// The source dots of each of N device pixels along an axis of n dots, as [lo[i], hi[i]). Shrinking
// (N < n) every dot belongs to the one pixel that holds its centre; growing, each pixel takes the dot
// under its own centre.
void MakeSpans(int n, int N, std::vector<int> &lo, std::vector<int> &hi);

// Writes the device pixels `part` of the page into the first part.height() rows of out: the average
// of each pixel's dots, opaque. out is RGB32, or Indexed8 for a two-colour (Format_Mono) page, whose
// bytes are then levels 0 (colour 0) to 255 (colour 1); monoColors maps the levels to RGB32.
void Resample(const QImage &page, const std::vector<int> &xLo, const std::vector<int> &xHi,
              const std::vector<int> &yLo, const std::vector<int> &yHi, const QRect &part,
              const QVector<QRgb> &monoColors, QImage &out);

} // namespace PageResample
