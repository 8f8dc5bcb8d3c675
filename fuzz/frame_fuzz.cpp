// Fuzzes the driver link from the driver's side: the frame decoder, the stream reassembler and a
// CDriverLink that reads whatever a driver might write over a real socket pair.
//
// Input: byte 0 chooses the socket type (bit 0: stream), whether a receiver takes the messages (bit 1)
// and whether the preview ends with a send that waits (bit 2). The rest is a run of chunks, each a
// length byte (taken modulo 80) and that many bytes: one packet on SOCK_SEQPACKET, one write on
// SOCK_STREAM.
#include "app/DriverLink.h"
#include "link/DriverFrame.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz_frame";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QCoreApplication(argc, argv);
}

struct Chunk {
    const unsigned char *data;
    std::size_t size;
};

std::vector<Chunk> SplitChunks(const unsigned char *data, std::size_t size)
{
    std::vector<Chunk> chunks;
    while (size > 0 && chunks.size() < 512) {
        const std::size_t nWant = data[0] % 80;
        ++data;
        --size;
        const std::size_t nTake = nWant < size ? nWant : size;
        chunks.push_back({data, nTake});
        data += nTake;
        size -= nTake;
    }
    return chunks;
}

// Decoding and reassembly: every whole frame comes out, and encodes back to the same bytes.
void FuzzCodec(const std::vector<Chunk> &chunks)
{
    CDriverFrameReader reader;
    std::vector<DriverFrame> frames;
    std::vector<unsigned char> stream;
    for (const Chunk &chunk : chunks) {
        DriverFrame single;
        Check(DecodeDriverFrame(chunk.data, chunk.size, single) == (chunk.size == kDriverFrameSize));
        reader.Feed(chunk.data, chunk.size, frames);
        stream.insert(stream.end(), chunk.data, chunk.data + chunk.size);
    }
    Check(frames.size() == stream.size() / kDriverFrameSize);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        unsigned char bytes[kDriverFrameSize];
        EncodeDriverFrame(frames[i], bytes);
        Check(std::memcmp(bytes, stream.data() + i * kDriverFrameSize, kDriverFrameSize) == 0);
    }
}

// The link must take anything: no crash, the receiver never called inside a wait, only the driver's
// two messages handed over, and the run ends.
void FuzzLink(unsigned nMode, const std::vector<Chunk> &chunks)
{
    const bool bStream = (nMode & 1) != 0;
    int fds[2];
    if (socketpair(AF_UNIX, bStream ? SOCK_STREAM : SOCK_SEQPACKET, 0, fds) != 0)
        return;
    const int nDriver = fds[1];
    {
        CDriverLink link;
        link.Attach(static_cast<quint64>(fds[0]));
        Check(link.IsConnected());
        if (nMode & 2) {
            link.SetReceiver([&link](quint32 message, quint64, qint64 lParam) {
                Check(!link.IsWaiting());
                Check(message == WM_PREVIEW_PAGES || message == WM_PREVIEW_CLOSE);
                return lParam;
            });
        }
        link.Post(WM_PREVIEW_OPENED, 1, 0);
        for (const Chunk &chunk : chunks) {
            if (chunk.size == 0 && !bStream)
                continue; // an empty packet is the connection's end; the last step covers it
            for (int nTry = 0; nTry < 8; ++nTry) {
                const ssize_t n = ::send(nDriver, chunk.data, chunk.size, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n >= 0 || (errno != EAGAIN && errno != EINTR))
                    break;
                QCoreApplication::processEvents(); // the link reads; room comes back
            }
            QCoreApplication::processEvents();
        }
        // The driver writes nothing more: a send ends at the latest when it reaches the end.
        shutdown(nDriver, SHUT_WR);
        if (nMode & 4)
            link.Send(WM_PREVIEW_RESULT, PREVIEW_RESULT_PRINT, 0);
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
        link.Send(WM_PREVIEW_ENDED, 0, 0);
        Check(!link.IsWaiting());
        QCoreApplication::processEvents();
    }
    ::close(nDriver);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    EnsureApplication();
    const std::vector<Chunk> chunks = SplitChunks(data + 1, size - 1);
    FuzzCodec(chunks);
    FuzzLink(data[0], chunks);
    return 0;
}
