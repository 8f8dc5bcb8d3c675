// The 32-byte frame of the driver link, encoded and decoded little-endian, and put together from a stream.
#include "link/DriverFrame.h"

#include <algorithm>
#include <cstring>

namespace {

// Offsets of the fields inside a frame: kind 0, message 4, serial 8, wParam 16, lParam 24.
constexpr std::size_t kKindAt = 0;
constexpr std::size_t kMessageAt = 4;
constexpr std::size_t kSerialAt = 8;
constexpr std::size_t kWParamAt = 16;
constexpr std::size_t kLParamAt = 24;

void PutLE(unsigned char *out, quint64 value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

quint64 GetLE(const unsigned char *in, std::size_t bytes)
{
    quint64 value = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        value |= static_cast<quint64>(in[i]) << (8 * i);
    return value;
}

} // namespace

void EncodeDriverFrame(const DriverFrame &frame, unsigned char out[kDriverFrameSize])
{
    PutLE(out + kKindAt, frame.kind, 4);
    PutLE(out + kMessageAt, frame.message, 4);
    PutLE(out + kSerialAt, frame.serial, 8);
    PutLE(out + kWParamAt, frame.wParam, 8);
    PutLE(out + kLParamAt, static_cast<quint64>(frame.lParam), 8);
}

bool DecodeDriverFrame(const unsigned char *data, std::size_t size, DriverFrame &out)
{
    if (data == nullptr || size != kDriverFrameSize)
        return false;
    out.kind = static_cast<quint32>(GetLE(data + kKindAt, 4));
    out.message = static_cast<quint32>(GetLE(data + kMessageAt, 4));
    out.serial = GetLE(data + kSerialAt, 8);
    out.wParam = GetLE(data + kWParamAt, 8);
    // Two's complement on the wire; the conversion to the signed type is exact from C++20 on and
    // what every supported compiler does before it.
    out.lParam = static_cast<qint64>(GetLE(data + kLParamAt, 8));
    return true;
}

void CDriverFrameReader::Feed(const unsigned char *data, std::size_t size, std::vector<DriverFrame> &frames)
{
    while (size > 0) {
        const std::size_t take = std::min(size, kDriverFrameSize - m_nPartial);
        std::memcpy(m_partial + m_nPartial, data, take);
        m_nPartial += take;
        data += take;
        size -= take;
        if (m_nPartial == kDriverFrameSize) {
            DriverFrame frame;
            DecodeDriverFrame(m_partial, kDriverFrameSize, frame);
            frames.push_back(frame);
            m_nPartial = 0;
        }
    }
}
