// Handles that name no window: nothing is connected, sends yield 0 at once, posts vanish, and not one
// byte reaches the descriptor.
#include "DriverLinkPeer.h"

#include <gtest/gtest.h>

#include <ostream>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/stat.h>

namespace {

// One handle to try, the descriptors behind it, and how to tell that nothing was written.
struct HandleCase {
    quint64 handle = 0;
    std::vector<int> fds;            // closed at the end
    std::function<bool()> untouched; // true when nothing reached the descriptor
};

bool NothingReadable(int fd)
{
    pollfd entry = {fd, POLLIN, 0};
    return poll(&entry, 1, 0) == 0;
}

struct HandleParam {
    const char *name;
    std::function<HandleCase()> make;
};

void PrintTo(const HandleParam &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<HandleParam> HandleParams()
{
    return {
        {"Zero",
         [] {
             return HandleCase{0, {}, [] { return true; }};
         }},
        {"Stdout",
         [] {
             struct stat before = {};
             fstat(1, &before);
             return HandleCase{1, {}, [before] {
                                   struct stat after = {};
                                   fstat(1, &after);
                                   return !S_ISREG(after.st_mode) || after.st_size == before.st_size;
                               }};
         }},
        {"RegularFile",
         [] {
             char path[] = "/tmp/corvane-link-XXXXXX";
             const int fd = mkstemp(path);
             unlink(path);
             return HandleCase{static_cast<quint64>(fd), {fd}, [fd] {
                                   struct stat info = {};
                                   return fstat(fd, &info) == 0 && info.st_size == 0;
                               }};
         }},
        {"PipeWriteEnd",
         [] {
             int fds[2];
             [[maybe_unused]] const int n = pipe(fds);
             const int nRead = fds[0];
             return HandleCase{
                 static_cast<quint64>(fds[1]), {fds[0], fds[1]}, [nRead] { return NothingReadable(nRead); }};
         }},
        {"PipeReadEnd",
         [] {
             int fds[2];
             [[maybe_unused]] const int n = pipe(fds);
             return HandleCase{static_cast<quint64>(fds[0]), {fds[0], fds[1]}, [] { return true; }};
         }},
        {"ClosedDescriptor",
         [] {
             const int fd = dup(2);
             ::close(fd);
             return HandleCase{static_cast<quint64>(fd), {}, [] { return true; }};
         }},
        {"UnixDatagramPair",
         [] {
             int fds[2];
             socketpair(AF_UNIX, SOCK_DGRAM, 0, fds);
             const int nPeer = fds[1];
             return HandleCase{
                 static_cast<quint64>(fds[0]), {fds[0], fds[1]}, [nPeer] { return NothingReadable(nPeer); }};
         }},
        {"UnconnectedUnixSocket",
         [] {
             const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             return HandleCase{static_cast<quint64>(fd), {fd}, [] { return true; }};
         }},
        {"InternetSocket",
         [] {
             const int fd = socket(AF_INET, SOCK_STREAM, 0);
             return HandleCase{static_cast<quint64>(fd), {fd}, [] { return true; }};
         }},
        {"SocketNumberAbove32Bits",
         [] {
             // The low 32 bits name a live socket pair end; the whole number names nothing.
             int fds[2];
             socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds);
             const int nPeer = fds[1];
             return HandleCase{(quint64(1) << 32) | static_cast<quint64>(fds[0]), {fds[0], fds[1]}, [nPeer] {
                                   return NothingReadable(nPeer);
                               }};
         }},
        {"AllBits",
         [] {
             return HandleCase{~quint64(0), {}, [] { return true; }};
         }},
    };
}

class DriverLinkHandleTest : public ::testing::TestWithParam<HandleParam> {};

TEST_P(DriverLinkHandleTest, NamesNoWindow)
{
    EnsureCoreApplication();
    HandleCase handle = GetParam().make();
    int nFlagsBefore = -1;
    if (handle.handle <= 1024)
        nFlagsBefore = fcntl(static_cast<int>(handle.handle), F_GETFD);
    {
        CDriverLink link;
        link.Attach(handle.handle);
        EXPECT_FALSE(link.IsConnected());
        link.Post(WM_PREVIEW_OPENED, 1, 0);
        EXPECT_EQ(link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_PRINT, 0), 0);
        EXPECT_FALSE(link.LastSendAborted());
        EXPECT_FALSE(link.IsWaiting());
        EXPECT_EQ(link.Send(WM_PREVIEW_ENDED, 0, 0), 0);
        PumpNow();
    }
    EXPECT_TRUE(handle.untouched());
    if (nFlagsBefore >= 0) {
        EXPECT_EQ(fcntl(static_cast<int>(handle.handle), F_GETFD), nFlagsBefore)
            << "the descriptor is left as it was, and open";
    }
    for (int fd : handle.fds)
        ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Handles, DriverLinkHandleTest, ::testing::ValuesIn(HandleParams()),
                         [](const ::testing::TestParamInfo<HandleParam> &param) {
                             return std::string(param.param.name);
                         });

// Both socket types that carry frames are taken, and the descriptor becomes close-on-exec; a link
// that attaches another handle lets go of the first.
TEST(DriverLinkAttachTest, TakesSeqPacketAndStreamPairs)
{
    EnsureCoreApplication();
    for (int nType : {SOCK_SEQPACKET, SOCK_STREAM}) {
        CDriverPeer peer(nType);
        const int fd = peer.PreviewFd();
        fcntl(fd, F_SETFD, 0);
        CDriverLink link;
        link.Attach(static_cast<quint64>(fd));
        ASSERT_TRUE(link.IsConnected());
        EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        link.Attach(static_cast<quint64>(fd));
        EXPECT_TRUE(link.IsConnected()) << "attaching the same descriptor again keeps it";
        link.Attach(0);
        EXPECT_FALSE(link.IsConnected());
        pollfd entry = {peer.DriverFd(), POLLIN, 0};
        ASSERT_EQ(poll(&entry, 1, 5000), 1);
        unsigned char byte = 0;
        EXPECT_EQ(recv(peer.DriverFd(), &byte, 1, 0), 0)
            << "the preview's end was closed: the driver sees the end";
    }
}

} // namespace
