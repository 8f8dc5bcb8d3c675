#pragma once

// The driver's end of a real socket pair, for the driver-link tests: writes and reads whole frames the
// way a driver does. Reads wait with poll and a timeout that is only a safety net.

#include "app/DriverLink.h"
#include "link/DriverFrame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <cerrno>
#include <functional>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// One QCoreApplication for the whole test run (the link's notifiers and deliveries need it).
inline void EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "test";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QCoreApplication(argc, argv);
}

// Runs the event loop until pred holds; false when nMs pass first.
inline bool PumpUntil(const std::function<bool()> &pred, int nMs = 5000)
{
    QDeadlineTimer deadline(nMs);
    QTimer wake; // wakes the wait below now and then, so the deadline is seen
    wake.start(20);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Handles everything the event loop has ready now (deliveries queued from a send, readable sockets).
inline void PumpNow()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

inline DriverFrame MakeFrame(quint32 kind, quint32 message, quint64 serial, quint64 wParam = 0,
                             qint64 lParam = 0)
{
    DriverFrame frame;
    frame.kind = kind;
    frame.message = message;
    frame.serial = serial;
    frame.wParam = wParam;
    frame.lParam = lParam;
    return frame;
}

struct ReceivedMessage {
    quint32 message;
    quint64 wParam;
    qint64 lParam;
    bool operator==(const ReceivedMessage &other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

class CDriverPeer {
public:
    explicit CDriverPeer(int nType) : m_nType(nType)
    {
        int fds[2] = {-1, -1};
        if (socketpair(AF_UNIX, nType, 0, fds) == 0) {
            m_nPreviewFd = fds[0];
            m_nDriverFd = fds[1];
        }
    }
    ~CDriverPeer() { CloseDriverEnd(); }
    CDriverPeer(const CDriverPeer &) = delete;
    CDriverPeer &operator=(const CDriverPeer &) = delete;

    // The preview's end; a link that attaches it owns it from then on.
    int PreviewFd() const { return m_nPreviewFd; }
    int DriverFd() const { return m_nDriverFd; }
    void CloseDriverEnd()
    {
        if (m_nDriverFd >= 0)
            ::close(m_nDriverFd);
        m_nDriverFd = -1;
    }

    // Ends the connection without giving up the descriptor: a driver thread that finds something wrong
    // uses it, so that a preview waiting for it fails instead of waiting for ever.
    void Hangup() const { shutdown(m_nDriverFd, SHUT_RDWR); }

    bool WriteBytes(const void *data, std::size_t size) const
    {
        const auto *bytes = static_cast<const unsigned char *>(data);
        while (size > 0) {
            const ssize_t n = ::send(m_nDriverFd, bytes, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Write(const DriverFrame &frame) const
    {
        unsigned char bytes[kDriverFrameSize];
        EncodeDriverFrame(frame, bytes);
        return WriteBytes(bytes, sizeof bytes);
    }

    // Reads one whole frame; false on timeout, the connection's end or a packet of another size.
    bool Read(DriverFrame &frame, int nTimeoutMs = 5000) const
    {
        unsigned char bytes[kDriverFrameSize * 2];
        std::size_t nHave = 0;
        while (nHave < kDriverFrameSize) {
            pollfd fd = {m_nDriverFd, POLLIN, 0};
            if (poll(&fd, 1, nTimeoutMs) <= 0)
                return false;
            // A packet is read whole (a longer one shows up by its size); a stream one frame at a time.
            const std::size_t nWant = m_nType == SOCK_STREAM ? kDriverFrameSize - nHave : sizeof bytes;
            const ssize_t n = ::recv(m_nDriverFd, bytes + nHave, nWant, 0);
            if (n <= 0)
                return false;
            nHave += static_cast<std::size_t>(n);
        }
        return DecodeDriverFrame(bytes, nHave, frame);
    }

    // Sends one frame and reads the preview's reply to it.
    bool Exchange(const DriverFrame &frame, DriverFrame &reply) const { return Write(frame) && Read(reply); }

    // True when the preview has written nothing that is still unread.
    bool NothingToRead() const
    {
        pollfd fd = {m_nDriverFd, POLLIN, 0};
        return poll(&fd, 1, 0) == 0;
    }

private:
    int m_nType;
    int m_nPreviewFd = -1;
    int m_nDriverFd = -1;
};
