#pragma once
// A page bitmap's size read from its headers, without decoding the pixels.

#include <QString>

// The size of a page bitmap read from its headers alone: the file header and the first 16 bytes of
// the info header, at most kBmpHeaderReadBytes bytes of the file. The pixels are not looked at, so a
// file whose pixel data is cut short still gives its size here; the decoder refuses it later.
struct CBmpHeaderInfo {
    int nWidth = 0;
    int nHeight = 0; // always positive; a top-down file gives its height without the sign
};

constexpr int kBmpHeaderReadBytes = 32;

// Parses the headers at the start of a file (size bytes at data): BMP_OK, BMP_ERR_HEADER for a file
// that is not a BMP or whose headers are cut short, BMP_ERR_FORMAT for a plane count other than 1,
// BMP_ERR_SIZE for dimensions the decoder would refuse (0, negative widths, beyond kBmpMaxDimension).
int ParseBmpHeader(const unsigned char *data, qsizetype size, CBmpHeaderInfo &out);

// Reads the headers of the file at path: a regular file only (a FIFO or a device fails at once without
// blocking, BMP_ERR_FILE), then ParseBmpHeader on its first bytes.
int ReadBmpHeader(const QString &path, CBmpHeaderInfo &out);
