// SIGTERM, SIGINT and SIGHUP noted by the relay, handed to the event loop, and ending a send that waits
// for the driver. (A process of its own: the handlers stay installed.)
#include "app/SignalRelay.h"
#include "DriverLinkPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

TEST(SignalRelayTest, NothingPendingBeforeInstall)
{
    // Runs first in this process: nothing is installed yet.
    EXPECT_EQ(CSignalRelay::WakeFd(), -1);
    EXPECT_FALSE(CSignalRelay::Pending());
    CSignalRelay::Take();
}

class SignalRelayNotedTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalRelayNotedTest, SignalIsPendingUntilTaken)
{
    CSignalRelay::Install();
    CSignalRelay::Install(); // a second call changes nothing
    ASSERT_GE(CSignalRelay::WakeFd(), 0);
    EXPECT_FALSE(CSignalRelay::Pending());
    raise(GetParam());
    raise(GetParam());
    EXPECT_TRUE(CSignalRelay::Pending());
    pollfd wake = {CSignalRelay::WakeFd(), POLLIN, 0};
    EXPECT_EQ(poll(&wake, 1, 0), 1);
    CSignalRelay::Take();
    EXPECT_FALSE(CSignalRelay::Pending());
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalRelayNotedTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(SignalRelayTest, SigpipeIsIgnored)
{
    CSignalRelay::Install();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ::close(fds[0]);
    const char byte = 0;
    EXPECT_EQ(write(fds[1], &byte, 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[1]);
}

TEST(SignalRelayTest, HandlerRunsFromTheEventLoopAndTakesTheSignal)
{
    EnsureCoreApplication();
    CSignalRelay::Install();
    int nCalls = 0;
    CSignalRelay::SetHandler([&] { ++nCalls; });
    raise(SIGHUP);
    EXPECT_EQ(nCalls, 0) << "the signal handler itself only notes the signal";
    ASSERT_TRUE(PumpUntil([&] { return nCalls > 0; }));
    EXPECT_FALSE(CSignalRelay::Pending());
    PumpNow();
    EXPECT_EQ(nCalls, 1);
    CSignalRelay::SetHandler(nullptr);
}

// A signal already pending, or one that comes while the preview waits, ends the wait: the send yields 0
// and counts as aborted. The message itself has gone out.
TEST(SignalRelayTest, PendingSignalAbortsAWaitingSend)
{
    EnsureCoreApplication();
    CSignalRelay::Install();
    CSignalRelay::SetHandler(nullptr);
    for (bool bDuringWait : {false, true}) {
        CDriverPeer peer(SOCK_SEQPACKET);
        CDriverLink link;
        link.Attach(static_cast<quint64>(peer.PreviewFd()));
        DriverFrame request;
        bool bRead = false;
        if (!bDuringWait)
            raise(SIGTERM);
        std::atomic<bool> bReturned{false};
        std::thread driver([&] {
            bRead = peer.Read(request);
            if (bDuringWait)
                kill(getpid(), SIGTERM);
            for (int i = 0; i < 500 && !bReturned; ++i)
                poll(nullptr, 0, 10);
            if (!bReturned)
                peer.Hangup(); // a preview that kept waiting: let it go
        });
        EXPECT_EQ(link.Send(WM_PREVIEW_ENDED, 0, 0), 0);
        bReturned = true;
        driver.join();
        EXPECT_TRUE(link.LastSendAborted());
        EXPECT_TRUE(link.IsConnected());
        ASSERT_TRUE(bRead);
        EXPECT_EQ(request.message, WM_PREVIEW_ENDED);
        EXPECT_TRUE(CSignalRelay::Pending()) << "the send leaves the signal to the event loop";
        CSignalRelay::Take();
    }
}

} // namespace
