#pragma once

// Builds BMP files byte by byte for the decoder tests: any header size, depth, compression, masks,
// colour table and row order, with the offsets a real writer would put, each of which a test may spoil.
#include <QRgb>
#include <QtGlobal>

#include <cstring>
#include <vector>

class CBmpBuilder {
public:
    int nHeaderSize = 40;
    int nWidth = 1;
    int nHeight = 1; // negative: top-down
    int nBits = 24;
    int nPlanes = 1;
    quint32 nCompression = 0;
    std::vector<quint32> masks; // after a 40-byte header, or inside a larger one
    std::vector<QRgb> palette;
    qint64 nColorsUsed = -1;   // -1: the palette's size
    qint64 nOffBits = -1;      // -1: right after the colour table (and the gap)
    int nGap = 0;              // unused bytes between the colour table and the pixels
    std::vector<uchar> pixels; // the pixel array as stored in the file

    // Packs top-down rows of pixel values (indices or raw little-endian pixels) into the stored array:
    // MSB-first for 1, 2 and 4 bits, rows padded to 4 bytes, bottom row first unless top-down.
    void SetRows(const std::vector<std::vector<quint64>> &rows)
    {
        nWidth = rows.empty() ? 0 : int(rows[0].size());
        const int h = int(rows.size());
        nHeight = nHeight < 0 ? -h : h;
        const size_t stride = ((size_t(nWidth) * nBits + 31) / 32) * 4;
        pixels.assign(stride * h, 0);
        for (int y = 0; y < h; ++y) {
            const int fileRow = nHeight < 0 ? y : h - 1 - y;
            uchar *row = pixels.data() + stride * fileRow;
            for (int x = 0; x < nWidth; ++x) {
                const quint64 v = rows[y][x];
                if (nBits < 8) {
                    const int bit = x * nBits;
                    row[bit / 8] |= uchar(v << (8 - nBits - bit % 8));
                } else {
                    for (int k = 0; k < nBits / 8; ++k)
                        row[x * (nBits / 8) + k] = uchar(v >> (8 * k));
                }
            }
        }
    }

    std::vector<uchar> Build() const
    {
        std::vector<uchar> f;
        Put16(f, 0x4D42);
        Put32(f, 0); // file size, patched below
        Put32(f, 0);
        Put32(f, 0); // offset, patched below
        Put32(f, quint32(nHeaderSize));
        if (nHeaderSize == 12) {
            Put16(f, quint16(nWidth));
            Put16(f, quint16(nHeight));
            Put16(f, quint16(nPlanes));
            Put16(f, quint16(nBits));
        } else {
            Put32(f, quint32(nWidth));
            Put32(f, quint32(nHeight));
            Put16(f, quint16(nPlanes));
            Put16(f, quint16(nBits));
            std::vector<uchar> rest(size_t(nHeaderSize - 16), 0);
            auto at = [&](size_t off, quint32 v) {
                if (off + 4 <= rest.size() + 16 && off >= 16)
                    std::memcpy(rest.data() + off - 16, &v, 4);
            };
            at(16, nCompression);
            at(20, quint32(pixels.size()));
            at(32, quint32(nColorsUsed < 0 ? palette.size() : quint64(nColorsUsed)));
            if (nHeaderSize >= 52) {
                for (size_t i = 0; i < masks.size() && i < 4; ++i)
                    at(40 + 4 * i, masks[i]);
            }
            f.insert(f.end(), rest.begin(), rest.end());
        }
        if (nHeaderSize == 40) {
            for (quint32 m : masks)
                Put32(f, m);
        }
        for (QRgb c : palette) {
            f.push_back(uchar(qBlue(c)));
            f.push_back(uchar(qGreen(c)));
            f.push_back(uchar(qRed(c)));
            if (nHeaderSize != 12)
                f.push_back(0);
        }
        f.insert(f.end(), size_t(nGap), uchar(0xEE));
        const quint32 off = nOffBits < 0 ? quint32(f.size()) : quint32(nOffBits);
        f.insert(f.end(), pixels.begin(), pixels.end());
        Patch32(f, 2, quint32(f.size()));
        Patch32(f, 10, off);
        return f;
    }

private:
    static void Put16(std::vector<uchar> &f, quint16 v)
    {
        f.push_back(uchar(v));
        f.push_back(uchar(v >> 8));
    }
    static void Put32(std::vector<uchar> &f, quint32 v)
    {
        for (int k = 0; k < 4; ++k)
            f.push_back(uchar(v >> (8 * k)));
    }
    static void Patch32(std::vector<uchar> &f, size_t at, quint32 v)
    {
        for (int k = 0; k < 4; ++k)
            f[at + k] = uchar(v >> (8 * k));
    }
};
