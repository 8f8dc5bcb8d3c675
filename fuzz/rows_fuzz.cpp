// The raster row conversion on arbitrary layouts and rows: a layout it accepts converts a row of the
// raster's bytes per line into exactly the wire row's bytes, never reading or writing past either.
//
// Input: colour space, colour order, bits per colour, bits per pixel (one byte each), width (two
// bytes, little-endian), then the row's bytes (zeros where the input ends early).
#include "filter/RowConverter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 6)
        return 0;
    RasterLayout layout;
    layout.colorSpace = data[0];
    layout.colorOrder = data[1];
    layout.bitsPerColor = data[2];
    layout.bitsPerPixel = data[3];
    layout.width = data[4] | (quint32(data[5]) << 8);
    CRowConverter converter;
    QString why;
    if (!converter.Setup(layout, &why)) {
        if (why.isEmpty() || converter.WireBits() != 0)
            std::abort();
        return 0;
    }
    const quint32 wire = converter.WireBits();
    if (wire != 1 && wire != 8 && wire != 24)
        std::abort();
    // Exactly the raster's bytes per line and the wire row's bytes: AddressSanitizer sees any overrun.
    const std::size_t inBytes = (std::size_t(layout.width) * layout.bitsPerPixel + 7) / 8;
    std::vector<uchar> in(inBytes);
    std::memcpy(in.data(), data + 6, std::min(inBytes, size - 6));
    std::vector<uchar> out(converter.WireRowBytes());
    converter.Convert(in.data(), out.data());
    // One bit stays one bit: the same bytes, inverted for white-is-1 spaces.
    if (wire == 1) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] != in[i] && out[i] != static_cast<uchar>(~in[i]))
                std::abort();
        }
    }
    return 0;
}
