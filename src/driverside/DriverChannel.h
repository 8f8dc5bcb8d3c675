#pragma once
// The driver's end of the link to one preview: frames queued, written and read.

#include "link/DriverFrame.h"
#include "link/LinkMessages.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <vector>

// The driver's end of the link to one preview, framed with the preview's own codec (DriverFrame).
// Writes never block: frames wait in a queue until the socket takes them (Flush, when the socket is
// writable), so the driver keeps reading while the preview is busy. On a stream the frames are put
// together from whatever the reads return.
class CDriverChannel {
public:
    // Takes the descriptor (non-blocking), closed by the destructor.
    explicit CDriverChannel(int fd, bool bStream = false);
    ~CDriverChannel();
    CDriverChannel(const CDriverChannel &) = delete;
    CDriverChannel &operator=(const CDriverChannel &) = delete;

    int Fd() const { return m_fd; }

    // Queues a frame with the driver's next serial and returns it.
    DriverFrame Queue(quint32 kind, quint32 message, quint64 wParam, qint64 lParam);
    DriverFrame Post(quint32 message, quint64 wParam, qint64 lParam)
    {
        return Queue(FRAME_POST, message, wParam, lParam);
    }
    // Queues the reply to the preview's send: its message and serial, the result in lParam.
    DriverFrame Reply(const DriverFrame &request, qint64 result);
    // Queues bytes as they stand (one packet on SOCK_SEQPACKET).
    void QueueRaw(const QByteArray &bytes);
    bool HasPending() const { return !m_out.empty(); }
    qint64 PendingBytes() const;
    // Writes what the socket takes now. Once the preview has gone the queue is dropped.
    void Flush();

    struct Incoming {
        bool bFrame = false;
        DriverFrame frame;      // when bFrame
        qsizetype nIgnored = 0; // otherwise: the size of a packet that is not a frame
    };
    // Reads what is waiting, at most maxPackets reads. False once the connection has ended (a read of
    // 0 bytes, an empty packet, a reset).
    bool Read(std::vector<Incoming> &incoming, int maxPackets = 256);
    bool AtEnd() const { return m_bEnd; }

private:
    int m_fd = -1;
    bool m_bStream = false;
    bool m_bEnd = false;
    quint64 m_nSerial = 0;
    std::deque<QByteArray> m_out;
    CDriverFrameReader m_reader;
};
