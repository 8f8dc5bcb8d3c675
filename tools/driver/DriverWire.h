#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>

// The driver's own codec of the link's 32-byte frame, written from the protocol document rather than
// shared with the preview, so that the end-to-end runs check the two against each other:
//   uint32 kind | uint32 message | uint64 serial | uint64 wParam | int64 lParam, all little-endian.
namespace wire {

enum : quint32 { POST = 1, SEND = 2, REPLY = 3 };
enum : quint32 { OPENED = 0x8001, PAGES = 0x8002, RESULT = 0x8003, CLOSE = 0x8004, ENDED = 0x8005 };
constexpr std::size_t kFrameSize = 32;

struct Frame {
    quint32 kind = 0;
    quint32 message = 0;
    quint64 serial = 0;
    quint64 wParam = 0;
    qint64 lParam = 0;
};

void Encode(const Frame &frame, unsigned char out[kFrameSize]);
Frame Decode(const unsigned char in[kFrameSize]);

// "WM_PREVIEW_PAGES" for the five messages, else the number in hexadecimal.
QString MessageName(quint32 message);
// "post", "send", "reply" or "kind N".
QString KindName(quint32 kind);

} // namespace wire
