#pragma once
// The limits of one page bitmap, shared by the preview and every program that hands it pages.

#include <QtGlobal>

// The preview's limits for one page, which every program that hands it pages checks as well.
// Largest decoded pixel array a load accepts, in bytes. A metre of 36 mm tape at 720 dpi in 24 bits
// is 1021 x 28347 dots, 3064 x 28347 bytes = 83 MiB; the limit leaves room for three times that.
constexpr qint64 kBmpMaxDecodedBytes = qint64(256) << 20;
// Largest width or height in dots (about 37 m at 720 dpi): keeps every later product of a dimension
// with a zoom factor inside 32 bits.
constexpr int kBmpMaxDimension = 1 << 20;
