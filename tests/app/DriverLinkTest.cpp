// The driver link over a real socket pair: frames both ways, serials, replies, the driver's messages
// reaching the receiver, and garbage that must change nothing.
#include "DriverLinkPeer.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <atomic>
#include <thread>

namespace {

class DriverLinkTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_GE(m_peer.PreviewFd(), 0);
        m_link.Attach(static_cast<quint64>(m_peer.PreviewFd()));
        ASSERT_TRUE(m_link.IsConnected());
    }

    void Record(qint64 nResult = 0)
    {
        m_link.SetReceiver([this, nResult](quint32 message, quint64 wParam, qint64 lParam) {
            m_received.push_back({message, wParam, lParam});
            return nResult;
        });
    }

    CDriverPeer m_peer{GetParam()};
    CDriverLink m_link;
    std::vector<ReceivedMessage> m_received;
};

TEST_P(DriverLinkTest, SetsCloseOnExec)
{
    EXPECT_NE(fcntl(m_peer.PreviewFd(), F_GETFD) & FD_CLOEXEC, 0);
}

// Posts and sends of the preview share one serial counter from 1; a reply ends the wait with its
// result, whatever its sign.
TEST_P(DriverLinkTest, PostsAndSendsCarryOneSerialCounter)
{
    m_link.Post(WM_PREVIEW_OPENED, 0x4a00007, 0);
    DriverFrame opened;
    ASSERT_TRUE(m_peer.Read(opened));

    std::vector<DriverFrame> seen;
    std::thread driver([&] {
        DriverFrame frame;
        for (qint64 nVerdict : {qint64(7), qint64(-1)}) {
            if (!m_peer.Read(frame))
                return m_peer.Hangup();
            seen.push_back(frame);
            m_peer.Write(MakeFrame(FRAME_REPLY, frame.message, frame.serial, 0, nVerdict));
        }
        if (m_peer.Read(frame))
            seen.push_back(frame);
    });
    EXPECT_EQ(m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_PRINT, 0), 7);
    EXPECT_FALSE(m_link.LastSendAborted());
    EXPECT_EQ(m_link.Send(WM_PREVIEW_ENDED, 0, 0), -1);
    EXPECT_FALSE(m_link.LastSendAborted());
    m_link.Post(WM_PREVIEW_OPENED, 1, -2);
    driver.join();

    EXPECT_EQ(opened.kind, FRAME_POST);
    EXPECT_EQ(opened.message, WM_PREVIEW_OPENED);
    EXPECT_EQ(opened.serial, 1u);
    EXPECT_EQ(opened.wParam, 0x4a00007u);
    EXPECT_EQ(opened.lParam, 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].kind, FRAME_SEND);
    EXPECT_EQ(seen[0].message, WM_PREVIEW_RESULT);
    EXPECT_EQ(seen[0].serial, 2u);
    EXPECT_EQ(seen[0].wParam, PREVIEW_RESULT_PRINT);
    EXPECT_EQ(seen[1].message, WM_PREVIEW_ENDED);
    EXPECT_EQ(seen[1].serial, 3u);
    EXPECT_EQ(seen[2].kind, FRAME_POST);
    EXPECT_EQ(seen[2].serial, 4u);
    EXPECT_EQ(seen[2].lParam, -2);
}

// A reply for another serial, or for another message, does not end the wait.
TEST_P(DriverLinkTest, OnlyTheMatchingReplyEndsTheWait)
{
    std::thread driver([&] {
        DriverFrame frame;
        if (!m_peer.Read(frame))
            return m_peer.Hangup();
        m_peer.Write(MakeFrame(FRAME_REPLY, frame.message, frame.serial + 1, 0, -5));
        m_peer.Write(MakeFrame(FRAME_REPLY, WM_PREVIEW_ENDED, frame.serial, 0, -6));
        m_peer.Write(MakeFrame(FRAME_REPLY, frame.message | 0x10000, frame.serial, 0, -7));
        m_peer.Write(MakeFrame(FRAME_REPLY, frame.message, frame.serial, 0, 42));
    });
    EXPECT_EQ(m_link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_CANCEL, 0), 42);
    driver.join();
}

// The reply to a driver's send is the receiver's result, written once the receiver has returned.
TEST_P(DriverLinkTest, DriverSendAnsweredWithTheReceiversResultAfterIt)
{
    bool bReplyBeforeHandled = true;
    m_link.SetReceiver([&](quint32 message, quint64 wParam, qint64 lParam) {
        m_received.push_back({message, wParam, lParam});
        bReplyBeforeHandled = !m_peer.NothingToRead();
        return qint64(5);
    });
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_SEND, WM_PREVIEW_CLOSE, 9, 0xffff, 3)));
    ASSERT_TRUE(PumpUntil([&] { return !m_received.empty(); }));
    DriverFrame reply;
    ASSERT_TRUE(m_peer.Read(reply));
    EXPECT_FALSE(bReplyBeforeHandled);
    EXPECT_EQ(m_received, (std::vector<ReceivedMessage>{{WM_PREVIEW_CLOSE, 0xffff, 3}}));
    EXPECT_EQ(reply.kind, FRAME_REPLY);
    EXPECT_EQ(reply.message, WM_PREVIEW_CLOSE);
    EXPECT_EQ(reply.serial, 9u);
    EXPECT_EQ(reply.wParam, 0u);
    EXPECT_EQ(reply.lParam, 5);
}

// Messages that come before the receiver exists wait for it, in order; a send among them is answered
// only once it has been handled.
TEST_P(DriverLinkTest, MessagesBeforeTheReceiverAreKeptInOrder)
{
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, 1, 3, 0)));
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_SEND, WM_PREVIEW_CLOSE, 2)));
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, 3, 6, 1)));
    PumpNow();
    EXPECT_TRUE(m_peer.NothingToRead());
    Record(0);
    EXPECT_TRUE(m_received.empty()) << "handed over from the event loop, not inside SetReceiver";
    ASSERT_TRUE(PumpUntil([&] { return m_received.size() == 3; }));
    EXPECT_EQ(m_received, (std::vector<ReceivedMessage>{
                              {WM_PREVIEW_PAGES, 3, 0}, {WM_PREVIEW_CLOSE, 0, 0}, {WM_PREVIEW_PAGES, 6, 1}}));
    DriverFrame reply;
    ASSERT_TRUE(m_peer.Read(reply));
    EXPECT_EQ(reply.serial, 2u);
}

// Unknown kinds, message numbers that differ anywhere in their 32 bits, preview-to-driver numbers
// and replies nobody waits for change nothing; a send of any of them is answered 0 at once.
TEST_P(DriverLinkTest, GarbageFramesAreIgnored)
{
    Record(9);
    const std::vector<DriverFrame> garbage = {
        MakeFrame(0, WM_PREVIEW_PAGES, 1, 4, 1),
        MakeFrame(4, WM_PREVIEW_CLOSE, 2),
        MakeFrame(0xffffffffu, WM_PREVIEW_CLOSE, 3),
        MakeFrame(FRAME_POST, 0x18004, 4),
        MakeFrame(FRAME_POST, 0x8004 | 0x80000000u, 5),
        MakeFrame(FRAME_POST, WM_PREVIEW_OPENED, 6, 1, 1),
        MakeFrame(FRAME_POST, 0, 7),
        MakeFrame(FRAME_REPLY, WM_PREVIEW_RESULT, 1, 0, -1),
        MakeFrame(FRAME_SEND, 0x18004, 8, 0, 0),
        MakeFrame(FRAME_SEND, WM_PREVIEW_ENDED, 9, 0, 0),
        MakeFrame(FRAME_SEND, 0xffffffffu, 10, 0, 0),
    };
    for (const DriverFrame &frame : garbage)
        ASSERT_TRUE(m_peer.Write(frame));
    ASSERT_TRUE(m_peer.Write(MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, 11, 6, 1)));
    ASSERT_TRUE(PumpUntil([&] { return !m_received.empty(); }));
    PumpNow();
    EXPECT_EQ(m_received, (std::vector<ReceivedMessage>{{WM_PREVIEW_PAGES, 6, 1}}));
    for (quint64 nSerial : {8u, 9u, 10u}) {
        DriverFrame reply;
        ASSERT_TRUE(m_peer.Read(reply));
        EXPECT_EQ(reply.kind, FRAME_REPLY);
        EXPECT_EQ(reply.serial, nSerial);
        EXPECT_EQ(reply.lParam, 0);
    }
    EXPECT_TRUE(m_peer.NothingToRead());
    EXPECT_TRUE(m_link.IsConnected());
}

// A driver that sends faster than it reads its replies gets every one of them, in order: the preview
// stops reading while its replies wait for room, instead of dropping them.
TEST_P(DriverLinkTest, EveryReplyReachesADriverThatReadsLate)
{
    Record(0);
    constexpr quint64 kSends = 3000;
    std::vector<quint64> replies;
    std::atomic<bool> bDone{false};
    std::thread driver([&] {
        quint64 nNext = 1;
        DriverFrame reply;
        while (replies.size() < kSends) {
            unsigned char bytes[kDriverFrameSize];
            EncodeDriverFrame(MakeFrame(FRAME_SEND, 0x9000, nNext), bytes);
            if (nNext <= kSends &&
                ::send(m_peer.DriverFd(), bytes, sizeof bytes, MSG_DONTWAIT | MSG_NOSIGNAL) ==
                    static_cast<ssize_t>(sizeof bytes)) {
                ++nNext;
                continue;
            }
            // Its own socket is full (or everything is sent): only now does it read.
            if (!m_peer.Read(reply))
                break;
            replies.push_back(reply.serial);
        }
        bDone = true;
    });
    PumpUntil([&] { return bDone.load(); }, 20000);
    if (!bDone)
        m_peer.Hangup();
    driver.join();
    ASSERT_EQ(replies.size(), kSends);
    for (quint64 i = 0; i < kSends; ++i)
        ASSERT_EQ(replies[i], i + 1);
}

INSTANTIATE_TEST_SUITE_P(SocketTypes, DriverLinkTest, ::testing::Values(SOCK_SEQPACKET, SOCK_STREAM),
                         [](const ::testing::TestParamInfo<int> &param) {
                             return std::string(param.param == SOCK_STREAM ? "Stream" : "SeqPacket");
                         });

// Packets of any size but 32 bytes are dropped whole, and the frames around them still count.
TEST(DriverLinkPacketTest, WrongSizePacketsAreIgnored)
{
    EnsureCoreApplication();
    CDriverPeer peer(SOCK_SEQPACKET);
    CDriverLink link;
    link.Attach(static_cast<quint64>(peer.PreviewFd()));
    std::vector<ReceivedMessage> received;
    link.SetReceiver([&](quint32 message, quint64 wParam, qint64 lParam) {
        received.push_back({message, wParam, lParam});
        return qint64(0);
    });
    unsigned char valid[kDriverFrameSize];
    EncodeDriverFrame(MakeFrame(FRAME_POST, WM_PREVIEW_CLOSE, 1), valid);
    std::vector<unsigned char> big(4096, 0);
    EncodeDriverFrame(MakeFrame(FRAME_POST, WM_PREVIEW_CLOSE, 1), big.data());
    for (std::size_t nSize : {std::size_t(1), std::size_t(31), std::size_t(33), std::size_t(64), big.size()})
        ASSERT_TRUE(peer.WriteBytes(big.data(), nSize));
    ASSERT_TRUE(peer.WriteBytes(valid, sizeof valid));
    ASSERT_TRUE(PumpUntil([&] { return !received.empty(); }));
    PumpNow();
    EXPECT_EQ(received.size(), 1u);
    EXPECT_TRUE(link.IsConnected());
}

// On a stream the frames are put together again wherever the bytes were split.
class DriverLinkStreamSplitTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DriverLinkStreamSplitTest, FramesSurviveAnySplit)
{
    EnsureCoreApplication();
    CDriverPeer peer(SOCK_STREAM);
    CDriverLink link;
    link.Attach(static_cast<quint64>(peer.PreviewFd()));
    std::vector<ReceivedMessage> received;
    link.SetReceiver([&](quint32 message, quint64 wParam, qint64 lParam) {
        received.push_back({message, wParam, lParam});
        return lParam;
    });
    const std::vector<DriverFrame> frames = {
        MakeFrame(FRAME_SEND, WM_PREVIEW_PAGES, 1, 3, 0),
        MakeFrame(FRAME_SEND, WM_PREVIEW_PAGES, 2, 0x1'0000'0005ull, 0),
        MakeFrame(FRAME_POST, WM_PREVIEW_PAGES, 3, 6, -1),
        MakeFrame(FRAME_SEND, WM_PREVIEW_CLOSE, 4, 0, 0x7fff'ffff'ffffll),
    };
    std::vector<unsigned char> bytes(frames.size() * kDriverFrameSize);
    for (std::size_t i = 0; i < frames.size(); ++i)
        EncodeDriverFrame(frames[i], bytes.data() + i * kDriverFrameSize);
    const std::size_t nChunk = GetParam();
    for (std::size_t nAt = 0; nAt < bytes.size(); nAt += nChunk) {
        ASSERT_TRUE(peer.WriteBytes(bytes.data() + nAt, std::min(nChunk, bytes.size() - nAt)));
        PumpNow();
    }
    ASSERT_TRUE(PumpUntil([&] { return received.size() == frames.size(); }));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(received[i].message, frames[i].message);
        EXPECT_EQ(received[i].wParam, frames[i].wParam);
        EXPECT_EQ(received[i].lParam, frames[i].lParam);
    }
    for (quint64 nSerial : {1u, 2u, 4u}) {
        DriverFrame reply;
        ASSERT_TRUE(peer.Read(reply));
        EXPECT_EQ(reply.serial, nSerial);
    }
}

INSTANTIATE_TEST_SUITE_P(Chunks, DriverLinkStreamSplitTest,
                         ::testing::Values(std::size_t(1), std::size_t(3), std::size_t(7), std::size_t(13),
                                           std::size_t(31), std::size_t(33), std::size_t(63),
                                           std::size_t(128)));

} // namespace
