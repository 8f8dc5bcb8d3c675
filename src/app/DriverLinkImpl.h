#pragma once

// The inside of CDriverLink, shared by DriverLink.cpp (the descriptor, the Qt hooks and the public
// operations) and DriverLinkTraffic.cpp (frames in and out, the queue for the receiver).

#include "app/DriverLink.h"
#include "link/DriverFrame.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include <cstddef>
#include <deque>
#include <vector>

struct CDriverLink::Impl {
    // At most this many driver messages wait for the receiver (while a send waits, before a receiver is
    // set, or while no event loop runs). Page reports coalesce (below), so a job never comes near it; past
    // it page reports are dropped, and one close request is still kept.
    static constexpr std::size_t kMaxQueued = 64;
    // While this many replies to the driver's sends wait for room in the socket, the preview reads
    // nothing more from it, until the driver has taken some: no reply is ever dropped, and a driver that
    // sends without reading is held up by its own socket instead of growing the preview's memory.
    static constexpr std::size_t kMaxQueuedReplies = 64;
    // Frames taken from the socket per wake-up of the event loop, so that a flood never starves it.
    static constexpr int kReadBudget = 256;

    struct QueuedMessage {
        quint32 message;
        quint64 wParam;
        qint64 lParam;
        quint64 serial;
        bool bNeedsReply; // a send from the driver that has not been answered yet
    };

    // A frame for the driver not yet taken whole by the socket.
    struct OutgoingFrame {
        unsigned char bytes[kDriverFrameSize];
        bool bReply; // a reply to a driver send (counted for the read pause)
    };

    // A driver send being handled by the receiver right now; answered at once when the receiver itself
    // starts a send (a driver that waits for its reply would otherwise never answer ours).
    struct InFlight {
        quint32 message;
        quint64 serial;
        bool bReplied;
    };

    int fd = -1;
    bool bStream = false;

    // The verdict of Claim: the handle it was given, and the descriptor it took (-1: names no window).
    bool bClaimed = false;
    quint64 nClaimedHandle = 0;
    int nClaimedFd = -1;
    bool bClaimedStream = false;

    quint64 nNextSerial = 1;
    CDriverFrameReader reader;

    CDriverLink::Receiver receiver;
    std::deque<QueuedMessage> queued;
    std::vector<InFlight *> inFlight;

    // Frames for the driver not yet taken by the socket; nOutOffset bytes of the first are gone.
    std::deque<OutgoingFrame> outgoing;
    std::size_t nOutOffset = 0;
    std::size_t nQueuedReplies = 0;

    bool bWaiting = false;
    bool bAborted = false;
    bool bGotReply = false;
    bool bCloseArrived = false;
    bool bCloseEndsWait = true;
    quint32 nWaitMessage = 0;
    quint64 nWaitSerial = 0;
    qint64 nReply = 0;

    QPointer<QObject> context;
    QPointer<QSocketNotifier> readNotifier;
    QPointer<QSocketNotifier> writeNotifier;
    bool bDeliveryScheduled = false;

    ~Impl();
    void Close();
    void EnsureEventLoopHooks();
    // Watches for room to write while frames wait, and for frames to read unless reading is paused.
    void UpdateNotifiers();
    bool ReadPaused() const { return nQueuedReplies >= kMaxQueuedReplies; }

    void Enqueue(const DriverFrame &frame, bool bOwn);
    void Reply(quint32 message, quint64 serial, qint64 result);
    void Flush();

    void ReadAvailable(int nBudget);
    void Dispatch(const DriverFrame &frame);
    void Keep(quint32 message, quint64 wParam, qint64 lParam, quint64 serial, bool bNeedsReply);
    void AnswerOwedSends();

    void ScheduleDelivery();
    void Deliver();
};
