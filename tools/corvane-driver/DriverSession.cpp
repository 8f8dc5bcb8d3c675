// The exchange with the preview: one poll loop over the socket with timers for the page reports, the
// close request, the driver's own death, garbage rounds and delayed replies. Writes never block: frames
// wait in the channel until the socket takes them, so the driver keeps reading while the preview is busy.
#include "DriverSession.h"

#include "link/LinkMessages.h"
#include "log/Log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::chrono::milliseconds kQuiet{200};

QString Describe(const char *arrow, const DriverFrame &f)
{
    return QStringLiteral("%1 %2 %3 serial=%4 wParam=%5 lParam=%6")
        .arg(QString::fromLatin1(arrow), DriverKindName(f.kind), DriverMessageName(f.message))
        .arg(f.serial)
        .arg(f.kind == FRAME_POST && f.message == WM_PREVIEW_OPENED
                 ? QStringLiteral("0x") + QString::number(f.wParam, 16)
                 : QString::number(f.wParam))
        .arg(f.lParam);
}

} // namespace

void CDriverSession::Loop()
{
    while (!m_channel->AtEnd()) {
        int timeout = 200;
        const auto now = Clock::now();
        auto consider = [&](Clock::time_point due) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
            timeout = static_cast<int>(std::clamp<qint64>(ms, 0, timeout));
        };
        if (m_bOpened && m_nextReport < m_reports.size() && !m_bAwaitingReply)
            consider(m_reportDue);
        for (const DelayedReply &d : m_delayed)
            consider(d.due);
        if (m_bOpened && m_options.closeAfterMs >= 0 && !m_bCloseSent)
            consider(m_opened + std::chrono::milliseconds(m_options.closeAfterMs));
        if (m_bOpened && m_options.dieAfterMs >= 0)
            consider(m_opened + std::chrono::milliseconds(m_options.dieAfterMs));
        if (m_bProbePending)
            consider(m_lastRead + kQuiet);

        pollfd pfd{m_channel->Fd(), POLLIN, 0};
        if (m_channel->HasPending())
            pfd.events |= POLLOUT;
        if (::poll(&pfd, 1, timeout) < 0 && errno != EINTR)
            break;
        if (pfd.revents & (POLLIN | POLLHUP | POLLERR))
            ReadFrames();
        if (!m_channel->AtEnd() && (pfd.revents & POLLOUT))
            m_channel->Flush();
        if (!m_channel->AtEnd())
            RunTimers();
    }
}

void CDriverSession::ReadFrames()
{
    // What came before the end is handled too.
    std::vector<CDriverChannel::Incoming> incoming;
    for (bool bOpen = true; bOpen;) {
        bOpen = m_channel->Read(incoming);
        if (incoming.empty())
            break;
        m_lastRead = Clock::now();
        for (const CDriverChannel::Incoming &in : incoming) {
            if (in.bFrame)
                HandleFrame(in.frame);
            else
                Log::Info(QStringLiteral("<- packet of %1 bytes ignored").arg(in.nIgnored));
        }
        incoming.clear();
    }
}

void CDriverSession::HandleFrame(const DriverFrame &frame)
{
    if (frame.kind == FRAME_REPLY) {
        if (frame.serial == m_probeSerial && m_probeSerial != 0) {
            m_probeSerial = 0;
            m_probeMs = ElapsedMs(m_probeSent);
            Log::Info(QStringLiteral("garbage round %1 done: probe answered in %2 ms, preview rss %3 kB")
                          .arg(m_garbageRound)
                          .arg(m_probeMs)
                          .arg(PreviewRssKb()));
            if (m_garbageRound < 2)
                SendGarbageRound();
            else
                m_bGarbageDone = true;
            return;
        }
        if (m_bGarbageDone)
            Log::Info(Describe("<-", frame));
        m_bAwaitingReply = false;
        return;
    }
    Log::Info(Describe("<-", frame));
    if (frame.kind == FRAME_POST && frame.message == WM_PREVIEW_OPENED)
        OnOpened();
    else if (frame.kind == FRAME_SEND && frame.message == WM_PREVIEW_RESULT)
        OnResult(frame);
    else if (frame.kind == FRAME_SEND && frame.message == WM_PREVIEW_ENDED)
        OnEnded(frame);
    else if (frame.kind == FRAME_SEND)
        Reply(frame, 0);
}

void CDriverSession::OnOpened()
{
    if (m_bOpened)
        return;
    m_bOpened = true;
    m_opened = Clock::now();
    Log::Info(QStringLiteral("opened after %1 ms").arg(ElapsedMs(m_start)));
    m_reportDue = m_opened + std::chrono::milliseconds(m_options.firstReportMs);
    if (m_options.garbage != GarbageKind::None) {
        m_bGarbageDone = false;
        SendGarbageRound();
    }
}

void CDriverSession::OnResult(const DriverFrame &frame)
{
    ++m_nResults;
    qint64 result = 0;
    if (m_options.resultPolicy == ReplyPolicy::Refuse ||
        (m_options.resultPolicy == ReplyPolicy::RefuseOnce && m_nResults == 1))
        result = -1;
    Log::Info(QStringLiteral("result %1: %2, %3")
                  .arg(m_nResults)
                  .arg(frame.wParam == 1   ? QStringLiteral("print")
                       : frame.wParam == 2 ? QStringLiteral("cancel")
                                           : QStringLiteral("unknown"))
                  .arg(result < 0 ? QStringLiteral("refused") : QStringLiteral("accepted")));
    if (result >= 0)
        m_decision = frame.wParam == 1 ? 1 : frame.wParam == 2 ? 2 : 0;
    if (m_options.resultDelayMs > 0)
        m_delayed.append({frame, result, Clock::now() + std::chrono::milliseconds(m_options.resultDelayMs)});
    else
        Reply(frame, result);
}

void CDriverSession::OnEnded(const DriverFrame &frame)
{
    m_bEnded = true;
    const QStringList left = FilesLeft();
    m_bFilesGoneAtEnded = left.isEmpty();
    Log::Info(m_bFilesGoneAtEnded ? QStringLiteral("at WM_PREVIEW_ENDED: every job file is gone")
                                  : QStringLiteral("at WM_PREVIEW_ENDED: still on disk: ") + left.join(u' '));
    ++m_nEndedReplies;
    const bool refuse = m_options.endedPolicy == ReplyPolicy::Refuse ||
                        (m_options.endedPolicy == ReplyPolicy::RefuseOnce && m_nEndedReplies == 1);
    if (m_options.endedClose) {
        // The window is gone: the close request has nothing left to close, and the preview must
        // still wait for this answer.
        Queue(FRAME_POST, WM_PREVIEW_CLOSE, 0, 0);
        m_delayed.append({frame, refuse ? -1 : 0, Clock::now() + std::chrono::milliseconds(300)});
        return;
    }
    Reply(frame, refuse ? -1 : 0);
}

void CDriverSession::RunTimers()
{
    const auto now = Clock::now();
    for (int i = 0; i < m_delayed.size();) {
        if (m_delayed[i].due <= now) {
            Reply(m_delayed[i].request, m_delayed[i].result);
            m_delayed.removeAt(i);
        } else {
            ++i;
        }
    }
    if (!m_bOpened)
        return;
    if (m_bProbePending && !m_channel->HasPending() && now >= m_lastRead + kQuiet) {
        m_bProbePending = false;
        m_probeSent = now;
        m_probeSerial = Queue(FRAME_SEND, WM_PREVIEW_PAGES, 1, 0, false);
    }
    if (m_options.dieAfterMs >= 0 && now >= m_opened + std::chrono::milliseconds(m_options.dieAfterMs)) {
        Log::Info(QStringLiteral("driver dies now (preview pid %1 stays)").arg(m_pid));
        std::fflush(stdout);
        ::kill(::getpid(), SIGKILL);
    }
    if (m_nextReport < m_reports.size() && !m_bAwaitingReply && now >= m_reportDue) {
        const PageReport &report = m_reports[m_nextReport++];
        Queue(m_options.sendReports ? FRAME_SEND : FRAME_POST, WM_PREVIEW_PAGES, report.count, report.done);
        m_bAwaitingReply = m_options.sendReports;
        m_reportDue = now + std::chrono::milliseconds(m_options.reportDelayMs);
    }
    if (m_options.closeAfterMs >= 0 && !m_bCloseSent && m_bGarbageDone &&
        now >= m_opened + std::chrono::milliseconds(m_options.closeAfterMs)) {
        m_bCloseSent = true;
        Queue(m_options.sendClose ? FRAME_SEND : FRAME_POST, WM_PREVIEW_CLOSE, 0, 0);
    }
}

// Each round sends its garbage and then one WM_PREVIEW_PAGES as a send; its reply shows the preview
// still answers, and the memory read after rounds 1 and 2 shows whether it keeps what it was sent.
void CDriverSession::SendGarbageRound()
{
    ++m_garbageRound;
    std::mt19937 random(static_cast<unsigned>(m_garbageRound * 7919));
    const int count = m_options.garbageCount;
    for (int i = 0; i < count; ++i) {
        if (m_options.garbage == GarbageKind::Flood) {
            Queue(FRAME_POST, WM_PREVIEW_PAGES, static_cast<quint64>(i + 1), 0, false);
        } else if (m_options.garbage == GarbageKind::Random) {
            // 1..64 random bytes; never empty (that is the connection's end) and never a close request.
            QByteArray packet(1 + static_cast<int>(random() % 64), Qt::Uninitialized);
            for (char &c : packet)
                c = static_cast<char>(random());
            if (packet.size() >= 8 && static_cast<unsigned char>(packet[4]) == 0x04 &&
                static_cast<unsigned char>(packet[5]) == 0x80 && packet[6] == 0 && packet[7] == 0)
                packet[6] = 1;
            QueueRaw(packet);
        } else {
            static const quint32 messages[] = {0x8001,  0x8003, 0x8005,      0x18004,
                                               0x18002, 0,      0xFFFFFFFFu, 0x7FFF};
            static const quint32 kinds[] = {0, 1, 2, 3, 4, 0xFFFFFFFFu};
            const quint32 kind = kinds[random() % 6];
            const quint32 message = messages[random() % 8];
            if (i % 10 == 9) {
                QueueRaw(QByteArray(static_cast<int>(kDriverFrameSize) + (i % 20 == 19 ? 1 : -1), '\x02'));
                continue;
            }
            Queue(kind, message, random(), static_cast<qint64>(random()), false);
        }
    }
    if (m_options.stream && m_options.garbage == GarbageKind::Random) {
        // On a stream, random bytes would leave the frames misaligned for good; pad to a whole frame.
        const qint64 bytes = m_channel->PendingBytes();
        const int pad = static_cast<int>((kDriverFrameSize - bytes % kDriverFrameSize) % kDriverFrameSize);
        if (pad)
            QueueRaw(QByteArray(pad, '\0'));
    }
    Log::Info(QStringLiteral("garbage round %1: %2 items queued").arg(m_garbageRound).arg(count));
    // The probe goes once everything is written and the preview's answers to the garbage have stopped
    // coming, so it is the only send waiting for a reply, as a driver that waits for each reply sends.
    m_bProbePending = true;
    m_lastRead = Clock::now();
}

quint64 CDriverSession::Queue(quint32 kind, quint32 message, quint64 wParam, qint64 lParam, bool log)
{
    const DriverFrame frame = m_channel->Queue(kind, message, wParam, lParam);
    if (log)
        Log::Info(Describe("->", frame));
    return frame.serial;
}

void CDriverSession::QueueRaw(const QByteArray &packet)
{
    m_channel->QueueRaw(packet);
}

void CDriverSession::Reply(const DriverFrame &request, qint64 result)
{
    Log::Info(Describe("->", m_channel->Reply(request, result)));
}

int CDriverSession::ElapsedMs(Clock::time_point since) const
{
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}
