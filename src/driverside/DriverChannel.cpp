// The driver's end of the link: frames queued until the socket takes them, reads put together into frames.
#include "driverside/DriverChannel.h"

#include "link/LinkMessages.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

CDriverChannel::CDriverChannel(int fd, bool bStream) : m_fd(fd), m_bStream(bStream) {}

CDriverChannel::~CDriverChannel()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

DriverFrame CDriverChannel::Queue(quint32 kind, quint32 message, quint64 wParam, qint64 lParam)
{
    const DriverFrame frame{kind, message, ++m_nSerial, wParam, lParam};
    unsigned char bytes[kDriverFrameSize];
    EncodeDriverFrame(frame, bytes);
    QueueRaw(QByteArray(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(kDriverFrameSize)));
    return frame;
}

DriverFrame CDriverChannel::Reply(const DriverFrame &request, qint64 result)
{
    const DriverFrame frame{FRAME_REPLY, request.message, request.serial, 0, result};
    unsigned char bytes[kDriverFrameSize];
    EncodeDriverFrame(frame, bytes);
    QueueRaw(QByteArray(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(kDriverFrameSize)));
    return frame;
}

void CDriverChannel::QueueRaw(const QByteArray &bytes)
{
    if (m_bEnd)
        return;
    m_out.push_back(bytes);
    Flush();
}

qint64 CDriverChannel::PendingBytes() const
{
    qint64 bytes = 0;
    for (const QByteArray &packet : m_out)
        bytes += packet.size();
    return bytes;
}

void CDriverChannel::Flush()
{
    while (!m_out.empty()) {
        const QByteArray &packet = m_out.front();
        const ssize_t n =
            ::send(m_fd, packet.constData(), static_cast<size_t>(packet.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_out.clear(); // the preview is gone; reading will see the end
            return;
        }
        if (n < packet.size()) { // a stream took part of it
            m_out.front() = packet.mid(static_cast<qsizetype>(n));
            return;
        }
        m_out.pop_front();
    }
}

bool CDriverChannel::Read(std::vector<Incoming> &incoming, int maxPackets)
{
    unsigned char buffer[4096];
    for (int i = 0; i < maxPackets && !m_bEnd; ++i) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_bEnd = true;
            break;
        }
        if (n == 0) {
            m_bEnd = true;
            break;
        }
        if (m_bStream) {
            std::vector<DriverFrame> frames;
            m_reader.Feed(buffer, static_cast<std::size_t>(n), frames);
            for (const DriverFrame &frame : frames)
                incoming.push_back({true, frame, 0});
            continue;
        }
        Incoming in;
        in.bFrame = DecodeDriverFrame(buffer, static_cast<std::size_t>(n), in.frame);
        if (!in.bFrame)
            in.nIgnored = static_cast<qsizetype>(n);
        incoming.push_back(in);
    }
    if (m_bEnd)
        m_out.clear();
    return !m_bEnd;
}
