// A stand-in for corvane-preview in the agent's tests: takes /INI= and /HWND= as the preview does,
// announces a window and then acts as CORVANE_FAKE_PREVIEW_MODE says:
//   print  prints (WM_PREVIEW_RESULT 1) once the driver reports the spooling finished
//   die    exits at once after the announcement, without WM_PREVIEW_ENDED
//   wait   waits for WM_PREVIEW_CLOSE
//   nowindow  ends at once with WM_PREVIEW_ENDED and no announcement (its window could not be made)
//   late   as wait, but without the announcement (a window still being made)
// and always ends with WM_PREVIEW_ENDED after a result or a close request. Every frame it receives is
// appended to the file CORVANE_FAKE_PREVIEW_LOG, one line each ("pages 3 1", "close", "reply 0").
#include "driverside/DriverChannel.h"
#include "link/LinkMessages.h"

#include <QByteArray>
#include <QFile>

#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

void Note(const QByteArray &line)
{
    QFile log(QFile::decodeName(qgetenv("CORVANE_FAKE_PREVIEW_LOG")));
    if (log.open(QIODevice::Append))
        log.write(line + '\n');
}

// Waits for the next frame; false when the connection has ended.
bool Next(CDriverChannel &channel, DriverFrame &frame)
{
    static std::vector<CDriverChannel::Incoming> waiting;
    for (;;) {
        while (!waiting.empty()) {
            const CDriverChannel::Incoming in = waiting.front();
            waiting.erase(waiting.begin());
            if (in.bFrame) {
                frame = in.frame;
                return true;
            }
        }
        pollfd pfd{channel.Fd(), POLLIN, 0};
        ::poll(&pfd, 1, -1);
        if (!channel.Read(waiting, 1) && waiting.empty())
            return false;
    }
}

int End(CDriverChannel &channel)
{
    channel.Queue(FRAME_SEND, WM_PREVIEW_ENDED, 0, 0);
    DriverFrame frame;
    while (Next(channel, frame)) {
        if (frame.kind == FRAME_REPLY && frame.message == WM_PREVIEW_ENDED) {
            Note("ended reply " + QByteArray::number(frame.lParam));
            return 0;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    int fd = -1;
    QByteArray ini;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "/HWND=", 6) == 0)
            fd = static_cast<int>(std::strtol(argv[i] + 6, nullptr, 16));
        else if (std::strncmp(argv[i], "/INI=", 5) == 0)
            ini = argv[i] + 5;
    }
    if (fd < 3)
        return 3;
    const QByteArray mode = qgetenv("CORVANE_FAKE_PREVIEW_MODE");
    Note("start " + ini);
    CDriverChannel channel(fd);
    if (mode == "nowindow")
        return End(channel);
    if (mode != "late")
        channel.Post(WM_PREVIEW_OPENED, 0x1234, 0);
    if (mode == "die")
        ::_exit(9);
    DriverFrame frame;
    while (Next(channel, frame)) {
        if (frame.kind == FRAME_POST && frame.message == WM_PREVIEW_PAGES) {
            Note("pages " + QByteArray::number(frame.wParam) + ' ' + QByteArray::number(frame.lParam));
            if (mode == "print" && frame.lParam != 0) {
                channel.Queue(FRAME_SEND, WM_PREVIEW_RESULT, 1, 0);
            }
        } else if (frame.kind == FRAME_REPLY && frame.message == WM_PREVIEW_RESULT) {
            Note("result reply " + QByteArray::number(frame.lParam));
            if (frame.lParam >= 0)
                return End(channel);
        } else if (frame.message == WM_PREVIEW_CLOSE) {
            Note("close");
            return End(channel);
        }
    }
    Note("driver gone");
    return 0;
}
