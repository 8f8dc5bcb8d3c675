#include "DriverWire.h"

namespace wire {

namespace {

void Put(unsigned char *out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

quint64 Get(const unsigned char *in, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | in[i];
    return value;
}

} // namespace

void Encode(const Frame &frame, unsigned char out[kFrameSize])
{
    Put(out, frame.kind, 4);
    Put(out + 4, frame.message, 4);
    Put(out + 8, frame.serial, 8);
    Put(out + 16, frame.wParam, 8);
    Put(out + 24, static_cast<quint64>(frame.lParam), 8);
}

Frame Decode(const unsigned char in[kFrameSize])
{
    Frame frame;
    frame.kind = static_cast<quint32>(Get(in, 4));
    frame.message = static_cast<quint32>(Get(in + 4, 4));
    frame.serial = Get(in + 8, 8);
    frame.wParam = Get(in + 16, 8);
    frame.lParam = static_cast<qint64>(Get(in + 24, 8));
    return frame;
}

QString MessageName(quint32 message)
{
    switch (message) {
    case OPENED:
        return QStringLiteral("WM_PREVIEW_OPENED");
    case PAGES:
        return QStringLiteral("WM_PREVIEW_PAGES");
    case RESULT:
        return QStringLiteral("WM_PREVIEW_RESULT");
    case CLOSE:
        return QStringLiteral("WM_PREVIEW_CLOSE");
    case ENDED:
        return QStringLiteral("WM_PREVIEW_ENDED");
    default:
        return QStringLiteral("0x") + QString::number(message, 16);
    }
}

QString KindName(quint32 kind)
{
    switch (kind) {
    case POST:
        return QStringLiteral("post");
    case SEND:
        return QStringLiteral("send");
    case REPLY:
        return QStringLiteral("reply");
    default:
        return QStringLiteral("kind ") + QString::number(kind);
    }
}

} // namespace wire
