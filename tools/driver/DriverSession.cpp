// The exchange with the preview: one poll loop over the socket with timers for the page reports, the
// close request, the driver's own death, garbage rounds and delayed replies. Writes never block: frames
// wait in m_out until the socket takes them, so the driver keeps reading while the preview is busy.
#include "DriverSession.h"

#include "DriverLog.h"

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

QString Describe(const char *arrow, const wire::Frame &f)
{
    return QStringLiteral("%1 %2 %3 serial=%4 wParam=%5 lParam=%6")
        .arg(QString::fromLatin1(arrow), wire::KindName(f.kind), wire::MessageName(f.message))
        .arg(f.serial)
        .arg(f.kind == wire::POST && f.message == wire::OPENED
                 ? QStringLiteral("0x") + QString::number(f.wParam, 16)
                 : QString::number(f.wParam))
        .arg(f.lParam);
}

} // namespace

void CDriverSession::Loop()
{
    while (!m_eof) {
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

        pollfd pfd{m_fd, POLLIN, 0};
        if (!m_out.empty())
            pfd.events |= POLLOUT;
        if (::poll(&pfd, 1, timeout) < 0 && errno != EINTR)
            break;
        if (pfd.revents & (POLLIN | POLLHUP | POLLERR))
            ReadFrames();
        if (!m_eof && (pfd.revents & POLLOUT))
            Flush();
        if (!m_eof)
            RunTimers();
    }
}

void CDriverSession::ReadFrames()
{
    unsigned char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_eof = true;
            return;
        }
        if (n == 0) {
            m_eof = true;
            return;
        }
        m_lastRead = Clock::now();
        if (!m_options.stream) {
            if (n == static_cast<ssize_t>(wire::kFrameSize))
                HandleFrame(wire::Decode(buffer));
            else
                Say(QStringLiteral("<- packet of %1 bytes ignored").arg(n));
            continue;
        }
        m_streamBuffer.append(reinterpret_cast<const char *>(buffer), static_cast<int>(n));
        while (m_streamBuffer.size() >= static_cast<int>(wire::kFrameSize)) {
            HandleFrame(wire::Decode(reinterpret_cast<const unsigned char *>(m_streamBuffer.constData())));
            m_streamBuffer.remove(0, static_cast<int>(wire::kFrameSize));
        }
    }
}

void CDriverSession::HandleFrame(const wire::Frame &frame)
{
    if (frame.kind == wire::REPLY) {
        if (frame.serial == m_probeSerial && m_probeSerial != 0) {
            m_probeSerial = 0;
            m_probeMs = ElapsedMs(m_probeSent);
            Say(QStringLiteral("garbage round %1 done: probe answered in %2 ms, preview rss %3 kB")
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
            Say(Describe("<-", frame));
        m_bAwaitingReply = false;
        return;
    }
    Say(Describe("<-", frame));
    if (frame.kind == wire::POST && frame.message == wire::OPENED)
        OnOpened();
    else if (frame.kind == wire::SEND && frame.message == wire::RESULT)
        OnResult(frame);
    else if (frame.kind == wire::SEND && frame.message == wire::ENDED)
        OnEnded(frame);
    else if (frame.kind == wire::SEND)
        Reply(frame, 0);
}

void CDriverSession::OnOpened()
{
    if (m_bOpened)
        return;
    m_bOpened = true;
    m_opened = Clock::now();
    Say(QStringLiteral("opened after %1 ms").arg(ElapsedMs(m_start)));
    m_reportDue = m_opened + std::chrono::milliseconds(m_options.firstReportMs);
    if (m_options.garbage != GarbageKind::None) {
        m_bGarbageDone = false;
        SendGarbageRound();
    }
}

void CDriverSession::OnResult(const wire::Frame &frame)
{
    ++m_nResults;
    qint64 result = 0;
    if (m_options.resultPolicy == ReplyPolicy::Refuse ||
        (m_options.resultPolicy == ReplyPolicy::RefuseOnce && m_nResults == 1))
        result = -1;
    Say(QStringLiteral("result %1: %2, %3")
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

void CDriverSession::OnEnded(const wire::Frame &frame)
{
    m_bEnded = true;
    const QStringList left = FilesLeft();
    m_bFilesGoneAtEnded = left.isEmpty();
    Say(m_bFilesGoneAtEnded ? QStringLiteral("at WM_PREVIEW_ENDED: every job file is gone")
                            : QStringLiteral("at WM_PREVIEW_ENDED: still on disk: ") + left.join(u' '));
    ++m_nEndedReplies;
    const bool refuse = m_options.endedPolicy == ReplyPolicy::Refuse ||
                        (m_options.endedPolicy == ReplyPolicy::RefuseOnce && m_nEndedReplies == 1);
    if (m_options.endedClose) {
        // The window is gone: the close request has nothing left to close, and the preview must
        // still wait for this answer.
        Queue(wire::POST, wire::CLOSE, 0, 0);
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
    if (m_bProbePending && m_out.empty() && now >= m_lastRead + kQuiet) {
        m_bProbePending = false;
        m_probeSent = now;
        Queue(wire::SEND, wire::PAGES, 1, 0, false);
        m_probeSerial = m_serial;
    }
    if (m_options.dieAfterMs >= 0 && now >= m_opened + std::chrono::milliseconds(m_options.dieAfterMs)) {
        Say(QStringLiteral("driver dies now (preview pid %1 stays)").arg(m_pid));
        std::fflush(stdout);
        ::kill(::getpid(), SIGKILL);
    }
    if (m_nextReport < m_reports.size() && !m_bAwaitingReply && now >= m_reportDue) {
        const PageReport &report = m_reports[m_nextReport++];
        Queue(m_options.sendReports ? wire::SEND : wire::POST, wire::PAGES, report.count, report.done);
        m_bAwaitingReply = m_options.sendReports;
        m_reportDue = now + std::chrono::milliseconds(m_options.reportDelayMs);
    }
    if (m_options.closeAfterMs >= 0 && !m_bCloseSent && m_bGarbageDone &&
        now >= m_opened + std::chrono::milliseconds(m_options.closeAfterMs)) {
        m_bCloseSent = true;
        Queue(m_options.sendClose ? wire::SEND : wire::POST, wire::CLOSE, 0, 0);
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
            Queue(wire::POST, wire::PAGES, static_cast<quint64>(i + 1), 0, false);
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
                QueueRaw(QByteArray(static_cast<int>(wire::kFrameSize) + (i % 20 == 19 ? 1 : -1), '\x02'));
                continue;
            }
            Queue(kind, message, random(), static_cast<qint64>(random()), false);
        }
    }
    if (m_options.stream && m_options.garbage == GarbageKind::Random) {
        // On a stream, random bytes would leave the frames misaligned for good; pad to a whole frame.
        qint64 bytes = 0;
        for (const QByteArray &p : m_out)
            bytes += p.size();
        const int pad = static_cast<int>((wire::kFrameSize - bytes % wire::kFrameSize) % wire::kFrameSize);
        if (pad)
            QueueRaw(QByteArray(pad, '\0'));
    }
    Say(QStringLiteral("garbage round %1: %2 items queued").arg(m_garbageRound).arg(count));
    // The probe goes once everything is written and the preview's answers to the garbage have stopped
    // coming, so it is the only send waiting for a reply, as a driver that waits for each reply sends.
    m_bProbePending = true;
    m_lastRead = Clock::now();
}

void CDriverSession::Queue(quint32 kind, quint32 message, quint64 wParam, qint64 lParam, bool log)
{
    wire::Frame frame{kind, message, ++m_serial, wParam, lParam};
    unsigned char bytes[wire::kFrameSize];
    wire::Encode(frame, bytes);
    if (log)
        Say(Describe("->", frame));
    QueueRaw(QByteArray(reinterpret_cast<const char *>(bytes), static_cast<int>(wire::kFrameSize)));
}

void CDriverSession::QueueRaw(const QByteArray &packet)
{
    m_out.push_back(packet);
    Flush();
}

void CDriverSession::Reply(const wire::Frame &request, qint64 result)
{
    wire::Frame frame{wire::REPLY, request.message, request.serial, 0, result};
    unsigned char bytes[wire::kFrameSize];
    wire::Encode(frame, bytes);
    Say(Describe("->", frame));
    QueueRaw(QByteArray(reinterpret_cast<const char *>(bytes), static_cast<int>(wire::kFrameSize)));
}

void CDriverSession::Flush()
{
    while (!m_out.empty()) {
        const QByteArray &packet = m_out.front();
        const ssize_t n =
            ::send(m_fd, packet.constData(), static_cast<size_t>(packet.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                m_out.clear(); // the preview is gone; reading will see the end
            return;
        }
        if (n < packet.size()) { // a stream took part of it
            m_out.front() = packet.mid(static_cast<int>(n));
            return;
        }
        m_out.pop_front();
    }
}

int CDriverSession::ElapsedMs(Clock::time_point since) const
{
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}
