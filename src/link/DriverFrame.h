#pragma once
// The frames of the driver link: 32 bytes each, encoded, decoded and read from a stream.

#include <QtGlobal>

#include <cstddef>
#include <vector>

// One message or reply on the driver link: 32 bytes, little-endian.
enum : quint32 { FRAME_POST = 1, FRAME_SEND = 2, FRAME_REPLY = 3 };
constexpr std::size_t kDriverFrameSize = 32;

struct DriverFrame {
    quint32 kind = 0;    // FRAME_POST, FRAME_SEND or FRAME_REPLY
    quint32 message = 0; // 0x8001..0x8005; in a reply the message answered
    quint64 serial = 0;  // per sender, from 1; a reply carries the serial of the send it answers
    quint64 wParam = 0;  // 0 in a reply
    qint64 lParam = 0;   // in a reply: the result, below 0 = refused
};

void EncodeDriverFrame(const DriverFrame &frame, unsigned char out[kDriverFrameSize]);
// False unless size is exactly kDriverFrameSize.
bool DecodeDriverFrame(const unsigned char *data, std::size_t size, DriverFrame &out);

// Reassembles frames from a byte stream (SOCK_STREAM): bytes in, whole frames out. Holds less than one
// frame between calls.
class CDriverFrameReader {
public:
    void Feed(const unsigned char *data, std::size_t size, std::vector<DriverFrame> &frames);

private:
    unsigned char m_partial[kDriverFrameSize] = {};
    std::size_t m_nPartial = 0;
};
