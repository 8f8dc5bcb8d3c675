// CDriverLink: the frames on the link, written and read, and the messages dispatched and answered.
#include "app/DriverLinkImpl.h"

#include <QMetaObject>

#include <cerrno>

#include <sys/socket.h>

void CDriverLink::Impl::Enqueue(const DriverFrame &frame, bool bOwn)
{
    if (fd < 0)
        return;
    if (!bOwn)
        ++nQueuedReplies;
    OutgoingFrame out;
    EncodeDriverFrame(frame, out.bytes);
    out.bReply = !bOwn;
    outgoing.push_back(out);
    Flush();
    UpdateNotifiers();
}

void CDriverLink::Impl::Reply(quint32 message, quint64 serial, qint64 result)
{
    DriverFrame frame;
    frame.kind = FRAME_REPLY;
    frame.message = message;
    frame.serial = serial;
    frame.lParam = result;
    Enqueue(frame, false);
}

// Writes what the socket takes now, never blocking. On SOCK_SEQPACKET each frame is one packet; on
// SOCK_STREAM a frame may go out in pieces, and the rest follows before any other frame.
void CDriverLink::Impl::Flush()
{
    while (fd >= 0 && !outgoing.empty()) {
        const OutgoingFrame &out = outgoing.front();
        const ssize_t n =
            ::send(fd, out.bytes + nOutOffset, kDriverFrameSize - nOutOffset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                Close(); // EPIPE, ECONNRESET: the driver has gone
            return;
        }
        nOutOffset += static_cast<std::size_t>(n);
        if (nOutOffset < kDriverFrameSize)
            continue;
        if (out.bReply)
            --nQueuedReplies;
        outgoing.pop_front();
        nOutOffset = 0;
    }
}

// Takes up to nBudget frames that can be read now, and none while reading is paused. A read of 0 bytes,
// an empty packet or a read error is the connection's end.
void CDriverLink::Impl::ReadAvailable(int nBudget)
{
    unsigned char buffer[kDriverFrameSize * 8];
    std::vector<DriverFrame> frames;
    while (fd >= 0 && nBudget > 0 && !ReadPaused()) {
        // On SOCK_SEQPACKET a packet longer than the buffer is cut to it, and still has the wrong size.
        const std::size_t nWant = bStream ? sizeof buffer : kDriverFrameSize * 2;
        const ssize_t n = ::recv(fd, buffer, nWant, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            Close();
            return;
        }
        frames.clear();
        if (bStream) {
            reader.Feed(buffer, static_cast<std::size_t>(n), frames);
        } else {
            DriverFrame frame;
            if (DecodeDriverFrame(buffer, static_cast<std::size_t>(n), frame))
                frames.push_back(frame);
        }
        for (const DriverFrame &frame : frames)
            Dispatch(frame);
        // A wrong-size packet costs as much as a frame.
        nBudget -= frames.empty() ? 1 : static_cast<int>(frames.size());
    }
}

void CDriverLink::Impl::Dispatch(const DriverFrame &frame)
{
    if (frame.kind == FRAME_REPLY) {
        if (bWaiting && !bGotReply && frame.serial == nWaitSerial && frame.message == nWaitMessage) {
            bGotReply = true;
            nReply = frame.lParam;
        }
        return;
    }
    if (frame.kind != FRAME_POST && frame.kind != FRAME_SEND)
        return;
    const bool bSend = frame.kind == FRAME_SEND;
    if (frame.message != WM_PREVIEW_PAGES && frame.message != WM_PREVIEW_CLOSE) {
        if (bSend)
            Reply(frame.message, frame.serial, 0);
        return;
    }
    if (bWaiting) {
        if (bSend)
            Reply(frame.message, frame.serial, 0);
        if (frame.message == WM_PREVIEW_CLOSE)
            bCloseArrived = true;
        Keep(frame.message, frame.wParam, frame.lParam, frame.serial, false);
        return;
    }
    Keep(frame.message, frame.wParam, frame.lParam, frame.serial, bSend);
}

// Queues a driver message for the receiver. A page report replaces a page report that is still
// queued right before it when that one did not report completion and needs no reply: the receiver
// would have overwritten its count anyway. So a flood of reports keeps one entry.
void CDriverLink::Impl::Keep(quint32 message, quint64 wParam, qint64 lParam, quint64 serial, bool bNeedsReply)
{
    if (message == WM_PREVIEW_PAGES && !queued.empty()) {
        QueuedMessage &last = queued.back();
        if (last.message == WM_PREVIEW_PAGES && last.lParam == 0 && !last.bNeedsReply) {
            last = {message, wParam, lParam, serial, bNeedsReply};
            return;
        }
    }
    bool bKeep = queued.size() < kMaxQueued;
    if (!bKeep && message == WM_PREVIEW_CLOSE) {
        bKeep = true;
        for (const QueuedMessage &entry : queued)
            bKeep = bKeep && entry.message != WM_PREVIEW_CLOSE;
    }
    if (!bKeep) {
        if (bNeedsReply)
            Reply(message, serial, 0);
        return;
    }
    queued.push_back({message, wParam, lParam, serial, bNeedsReply});
}

void CDriverLink::Impl::AnswerOwedSends()
{
    for (QueuedMessage &entry : queued) {
        if (entry.bNeedsReply) {
            Reply(entry.message, entry.serial, 0);
            entry.bNeedsReply = false;
        }
    }
    for (InFlight *pending : inFlight) {
        if (!pending->bReplied) {
            Reply(pending->message, pending->serial, 0);
            pending->bReplied = true;
        }
    }
}

// Delivery always starts from the event loop (a queued call), never inside a send.
void CDriverLink::Impl::ScheduleDelivery()
{
    if (bDeliveryScheduled || context.isNull() || !receiver)
        return;
    bDeliveryScheduled = true;
    QMetaObject::invokeMethod(
        context,
        [this] {
            bDeliveryScheduled = false;
            Deliver();
        },
        Qt::QueuedConnection);
}

// Hands the queued messages to the receiver in order. A driver send is answered with the receiver's
// result once the receiver has returned (for a close request: after the window has closed).
void CDriverLink::Impl::Deliver()
{
    while (!bWaiting && receiver && !queued.empty()) {
        const QueuedMessage entry = queued.front();
        queued.pop_front();
        InFlight current = {entry.message, entry.serial, !entry.bNeedsReply};
        inFlight.push_back(&current);
        const Receiver handler = receiver; // the receiver may replace itself
        const qint64 nResult = handler(entry.message, entry.wParam, entry.lParam);
        inFlight.pop_back();
        if (!current.bReplied)
            Reply(entry.message, entry.serial, nResult);
    }
}
