// What happens while the preview waits for the driver's reply: the driver's own sends answered at once,
// its messages handed over afterwards, a close request or the driver's end ending the wait, and the
// bound on what may pile up meanwhile.
#include "DriverLinkPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <thread>

namespace {

class DriverLinkWaitTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_GE(m_peer.PreviewFd(), 0);
        m_link.Attach(static_cast<quint64>(m_peer.PreviewFd()));
        ASSERT_TRUE(m_link.IsConnected());
        m_link.SetReceiver([this](quint32 message, quint64 wParam, qint64 lParam) {
            m_received.push_back({message, wParam, lParam});
            m_bReceivedWhileWaiting = m_bReceivedWhileWaiting || m_link.IsWaiting();
            return qint64(3);
        });
    }

    CDriverPeer m_peer{GetParam()};
    CDriverLink m_link;
    std::vector<ReceivedMessage> m_received;
    bool m_bReceivedWhileWaiting = false;
};

// The driver's send during the wait gets 0 at once, without the receiver; its messages reach the
// receiver after the wait, from the event loop, in order.
TEST_P(DriverLinkWaitTest, DriverSendDuringTheWaitIsAnsweredAtOnce)
{
    DriverFrame ownReply;
    bool bAnswered = false;
    std::thread driver([&] {
        DriverFrame request;
        if (!m_peer.Read(request))
            return m_peer.Hangup();
        bAnswered = m_peer.Exchange(MakeFrame(FRAME_SEND, WM_PREVIEW_PAGES, 1, 4, 0), ownReply);
        m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, 2, 7, 1));
        m_peer.Write(MakeFrame(FRAME_REPLY, request.message, request.serial, 0, 1));
    });
    const qint64 nResult = m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_PRINT, 0);
    driver.join();
    EXPECT_EQ(nResult, 1);
    EXPECT_FALSE(m_link.LastSendAborted());
    ASSERT_TRUE(bAnswered);
    EXPECT_EQ(ownReply.kind, FRAME_REPLY);
    EXPECT_EQ(ownReply.message, WM_PREVIEW_PAGES);
    EXPECT_EQ(ownReply.serial, 1u);
    EXPECT_EQ(ownReply.lParam, 0);
    EXPECT_TRUE(m_received.empty()) << "nothing is handed over inside the send";

    ASSERT_TRUE(PumpUntil([&] { return !m_received.empty(); }));
    PumpNow();
    // (4, 0) is taken over by (7, 1): a report that does not finish the spooling only sets a count
    // that the next report replaces.
    EXPECT_EQ(m_received, (std::vector<ReceivedMessage>{{WM_PREVIEW_PAGES, 7, 1}}));
    EXPECT_FALSE(m_bReceivedWhileWaiting);
    EXPECT_TRUE(m_peer.NothingToRead()) << "the send was answered already";
}

// A close request, posted or sent, ends the wait: the send yields 0, counts as aborted, and the close
// request reaches the receiver afterwards. A late reply to the aborted send is ignored.
TEST_P(DriverLinkWaitTest, CloseRequestDuringTheWaitAbortsIt)
{
    for (quint32 nKind : {FRAME_POST, FRAME_SEND}) {
        m_received.clear();
        DriverFrame request;
        DriverFrame closeReply;
        std::atomic<bool> bReturned{false};
        std::thread driver([&] {
            if (!m_peer.Read(request))
                return m_peer.Hangup();
            if (nKind == FRAME_SEND)
                m_peer.Exchange(MakeFrame(nKind, WM_PREVIEW_CLOSE, 5), closeReply);
            else
                m_peer.Write(MakeFrame(nKind, WM_PREVIEW_CLOSE, 5));
            // A preview that went on waiting would never come back: end it after a while.
            for (int i = 0; i < 500 && !bReturned; ++i)
                poll(nullptr, 0, 10);
            if (!bReturned)
                m_peer.Hangup();
        });
        const qint64 nResult = m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_CANCEL, 0);
        bReturned = true;
        driver.join();
        ASSERT_TRUE(m_link.IsConnected()) << "the wait did not end on the close request";
        EXPECT_EQ(nResult, 0);
        EXPECT_TRUE(m_link.LastSendAborted());
        if (nKind == FRAME_SEND) {
            EXPECT_EQ(closeReply.message, WM_PREVIEW_CLOSE);
            EXPECT_EQ(closeReply.serial, 5u);
            EXPECT_EQ(closeReply.lParam, 0);
        }
        ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_REPLY, request.message, request.serial, 0, -1)));
        ASSERT_TRUE(PumpUntil([&] { return !m_received.empty(); }));
        PumpNow();
        EXPECT_EQ(m_received, (std::vector<ReceivedMessage>{{WM_PREVIEW_CLOSE, 0, 0}}));
        EXPECT_TRUE(m_peer.NothingToRead())
            << "a close request answered during the wait is not answered twice";
    }
}

// Once no window is left for a close request to close (the end notification), the wait goes on to
// the driver's reply.
TEST_P(DriverLinkWaitTest, CloseRequestAfterTheWindowLeavesTheWaitAlone)
{
    m_link.SetCloseEndsWait(false);
    std::thread driver([&] {
        DriverFrame request;
        if (!m_peer.Read(request))
            return m_peer.Hangup();
        m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_CLOSE, 1));
        poll(nullptr, 0, 100);
        m_peer.Write(MakeFrame(FRAME_REPLY, request.message, request.serial, 0, -7));
    });
    EXPECT_EQ(m_link.Send(WM_PREVIEW_ENDED, 0, 0), -7);
    EXPECT_FALSE(m_link.LastSendAborted());
    driver.join();
}

// A driver send that has waited for the receiver is answered 0 as soon as the preview itself starts
// waiting; otherwise both sides would wait for each other for ever.
TEST_P(DriverLinkWaitTest, OwedReplyIsWrittenWhenThePreviewStartsWaiting)
{
    m_link.SetReceiver(nullptr);
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_SEND, WM_PREVIEW_PAGES, 1, 2, 1)));
    PumpNow();
    std::thread driver([&] {
        DriverFrame owed;
        DriverFrame request;
        if (!m_peer.Read(owed) || !m_peer.Read(request))
            return m_peer.Hangup();
        if (owed.kind == FRAME_REPLY && owed.serial == 1u && request.kind == FRAME_SEND)
            m_peer.Write(MakeFrame(FRAME_REPLY, request.message, request.serial, 0, 8));
        else
            m_peer.Hangup();
    });
    EXPECT_EQ(m_link.Send(WM_PREVIEW_ENDED, 0, 0), 8);
    driver.join();
}

// The driver that dies while the preview waits: the send yields 0 (not an abort), the link is gone,
// later sends yield 0 at once and no write raises SIGPIPE.
TEST_P(DriverLinkWaitTest, PeerThatDiesMidSendEndsTheConnection)
{
    struct sigaction original = {};
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, &original);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        unsigned char bytes[kDriverFrameSize];
        pollfd fd = {m_peer.DriverFd(), POLLIN, 0};
        if (poll(&fd, 1, 5000) > 0) [[maybe_unused]]
            const ssize_t n = recv(m_peer.DriverFd(), bytes, sizeof bytes, 0);
        _exit(0);
    }
    m_peer.CloseDriverEnd(); // the child holds the only driver end now
    EXPECT_EQ(m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_PRINT, 0), 0);
    EXPECT_FALSE(m_link.LastSendAborted());
    EXPECT_FALSE(m_link.IsConnected());
    int nStatus = 0;
    waitpid(child, &nStatus, 0);
    m_link.Post(WM_PREVIEW_OPENED, 1, 0);
    EXPECT_EQ(m_link.Send(WM_PREVIEW_ENDED, 0, 0), 0);
    EXPECT_FALSE(m_link.LastSendAborted());
    sigaction(SIGPIPE, &original, nullptr);
}

// The driver already gone before the preview writes: EPIPE ends the connection, no SIGPIPE.
TEST_P(DriverLinkWaitTest, WritesToAClosedPeerRaiseNoSignal)
{
    struct sigaction original = {};
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, &original);
    m_peer.CloseDriverEnd();
    m_link.Post(WM_PREVIEW_OPENED, 1, 0);
    m_link.Post(WM_PREVIEW_OPENED, 1, 0);
    EXPECT_EQ(m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_PRINT, 0), 0);
    EXPECT_FALSE(m_link.IsConnected());
    sigaction(SIGPIPE, &original, nullptr);
}

// Messages received before the driver went away are still handed over.
TEST_P(DriverLinkWaitTest, MessagesBeforeTheEndAreStillDelivered)
{
    m_link.SetReceiver(nullptr);
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, 1, 5, 1)));
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_CLOSE, 2)));
    m_peer.CloseDriverEnd();
    ASSERT_TRUE(PumpUntil([&] { return !m_link.IsConnected(); }));
    m_link.SetReceiver([this](quint32 message, quint64 wParam, qint64 lParam) {
        m_received.push_back({message, wParam, lParam});
        return qint64(0);
    });
    ASSERT_TRUE(PumpUntil([&] { return m_received.size() == 2; }));
    EXPECT_EQ(m_received, (std::vector<ReceivedMessage>{{WM_PREVIEW_PAGES, 5, 1}, {WM_PREVIEW_CLOSE, 0, 0}}));
}

// A flood of page reports while nobody takes them: unfinished reports fold into one, finished ones
// stop at the queue's bound, and the close request behind them is still kept.
TEST_P(DriverLinkWaitTest, FloodOfPageReportsStaysBounded)
{
    m_link.SetReceiver(nullptr);
    constexpr quint64 kReports = 10000;
    bool bAnswered = false;
    std::atomic<bool> bFinished{false};
    std::thread driver([&] {
        quint64 nSerial = 1;
        for (quint64 i = 1; i <= kReports; ++i)
            m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, nSerial++, i, 0));
        for (quint64 i = 1; i <= kReports; ++i)
            m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, nSerial++, i, 1));
        m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_CLOSE, nSerial++));
        // The answer to this send comes only after everything before it has been read.
        DriverFrame reply;
        bAnswered = m_peer.Exchange(MakeFrame(FRAME_SEND, 0x9999, nSerial), reply);
        bFinished = true;
    });
    const bool bInTime = PumpUntil([&] { return bFinished.load(); }, 20000);
    if (!bInTime)
        m_peer.CloseDriverEnd(); // lets the driver thread fail and end
    driver.join();
    ASSERT_TRUE(bInTime);
    ASSERT_TRUE(bAnswered);

    m_link.SetReceiver([this](quint32 message, quint64 wParam, qint64 lParam) {
        m_received.push_back({message, wParam, lParam});
        return qint64(0);
    });
    ASSERT_TRUE(
        PumpUntil([&] { return !m_received.empty() && m_received.back().message == WM_PREVIEW_CLOSE; }));
    // The unfinished reports end as (10000, 0), which (1, 1) replaces; then (2, 1) ... (64, 1) fill
    // the 64 places; the close request takes one more.
    ASSERT_EQ(m_received.size(), 65u);
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(m_received[i].message, WM_PREVIEW_PAGES);
        EXPECT_EQ(m_received[i].wParam, i + 1);
        EXPECT_EQ(m_received[i].lParam, 1);
    }
}

// A receiver that itself sends (while the driver waits for the reply to its own send) answers the
// driver's send 0 before waiting, and not a second time afterwards.
TEST_P(DriverLinkWaitTest, SendFromInsideTheReceiverAnswersTheDriverFirst)
{
    qint64 nInner = 0;
    m_link.SetReceiver([&](quint32, quint64, qint64) {
        nInner = m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_CANCEL, 0);
        return qint64(-9);
    });
    std::vector<DriverFrame> seen;
    std::thread driver([&] {
        DriverFrame frame;
        if (!m_peer.Write(MakeFrame(FRAME_SEND, WM_PREVIEW_PAGES, 1, 2, 0)))
            return;
        for (int i = 0; i < 2 && m_peer.Read(frame); ++i)
            seen.push_back(frame);
        if (seen.size() == 2)
            m_peer.Write(MakeFrame(FRAME_REPLY, seen[1].message, seen[1].serial, 0, 4));
        else
            m_peer.Hangup();
    });
    ASSERT_TRUE(PumpUntil([&] { return nInner != 0 || !m_link.IsConnected(); }));
    driver.join();
    EXPECT_EQ(nInner, 4);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, FRAME_REPLY);
    EXPECT_EQ(seen[0].serial, 1u);
    EXPECT_EQ(seen[0].lParam, 0);
    EXPECT_EQ(seen[1].kind, FRAME_SEND);
    PumpNow();
    EXPECT_TRUE(m_peer.NothingToRead());
}

// Posts never block, even when the driver reads nothing for a while: what the socket has no room for
// goes out later from the event loop, whole and in order (on a stream, frames the socket took in
// pieces are finished first).
TEST_P(DriverLinkWaitTest, PostsToADriverThatDoesNotReadGoOutLaterInOrder)
{
    constexpr quint64 kPosts = 20000; // far more than the socket buffers hold
    for (quint64 i = 1; i <= kPosts; ++i)
        m_link.Post(WM_PREVIEW_OPENED, i, -qint64(i));
    std::atomic<quint64> nGood{0};
    std::thread driver([&] {
        DriverFrame frame;
        for (quint64 i = 1; i <= kPosts && m_peer.Read(frame); ++i) {
            if (frame.kind != FRAME_POST || frame.serial != i || frame.wParam != i ||
                frame.lParam != -qint64(i))
                break;
            nGood = i;
        }
    });
    const bool bAll = PumpUntil([&] { return nGood.load() == kPosts; }, 20000);
    driver.join();
    EXPECT_TRUE(bAll) << "frames intact and in order up to " << nGood.load();
}

INSTANTIATE_TEST_SUITE_P(SocketTypes, DriverLinkWaitTest, ::testing::Values(SOCK_SEQPACKET, SOCK_STREAM),
                         [](const ::testing::TestParamInfo<int> &param) {
                             return std::string(param.param == SOCK_STREAM ? "Stream" : "SeqPacket");
                         });

} // namespace
