// CFakeAgent: listening as the agent, taking a job and answering as the test asks.
#include "FakeAgent.h"

#include "cups/Rendezvous.h"

#include <QDeadlineTimer>
#include <QThread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace agentwire;

CFakeAgent::CFakeAgent(Answer answer, const QByteArray &name)
    : m_answer(answer), m_filterUid(name.isEmpty() ? rendezvous::FilterUserUid() : ::getuid())
{
    QString why;
    m_listen = name.isEmpty() ? rendezvous::Listen(::getuid(), &why) : rendezvous::Listen(name, &why);
    if (m_listen >= 0)
        m_thread = std::thread(&CFakeAgent::Serve, this);
}

CFakeAgent::~CFakeAgent()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

CFakeAgent::Seen CFakeAgent::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
}

bool CFakeAgent::WaitFor(bool (*done)(const Seen &), int nMs) const
{
    QDeadlineTimer deadline(nMs);
    while (!done(Snapshot())) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

void CFakeAgent::Decide(quint32 decision)
{
    const int fd = m_connection;
    if (fd >= 0)
        SendPacket(fd, DECISION, EncodeUint(decision));
}

void CFakeAgent::Note(const QString &problem)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_seen.problem.isEmpty())
        m_seen.problem = problem;
}

void CFakeAgent::Serve()
{
    int fd = -1;
    while (!m_stop && fd < 0) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0)
            fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (fd < 0)
        return;
    m_connection = fd;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.connected = true;
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
            m_seen.filterPid = credentials.pid;
    }
    const rendezvous::Verdict verdict = rendezvous::JudgeFilter(rendezvous::PeerUid(fd), m_filterUid);
    if (!verdict.allowed)
        Note(verdict.reason);
    bool stalled = false;
    quint64 pageBytes = 0;
    PageInfo page;
    while (!m_stop) {
        // Stalled, it only watches for the filter going away.
        pollfd p{fd, static_cast<short>(stalled ? 0 : POLLIN), 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        if (stalled) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen.closedByFilter = (p.revents & (POLLHUP | POLLERR)) != 0;
            if (m_seen.closedByFilter)
                break;
            continue;
        }
        quint32 type = 0;
        QByteArray payload;
        const Io io = ReceivePacket(fd, type, payload);
        if (io == Io::End) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen.closedByFilter = true;
            break;
        }
        if (io != Io::Ok) {
            Note(QStringLiteral("a malformed packet"));
            break;
        }
        QString why;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (type == JOB) {
            m_seen.jobAt = std::chrono::steady_clock::now();
            if (!DecodeJob(payload, m_seen.job, &why))
                m_seen.problem = why;
            lock.unlock();
            if (m_answer == Answer::Refuse)
                SendPacket(fd, REFUSED, QByteArrayLiteral("the fake agent refuses"));
            else
                SendPacket(fd, ACCEPTED, EncodeUint(kVersion));
        } else if (type == PAGE) {
            if (!DecodePage(payload, page, &why) ||
                (!m_seen.pages.isEmpty() &&
                 pageBytes != RowBytes(m_seen.pages.last()) * m_seen.pages.last().height))
                m_seen.problem = why.isEmpty() ? QStringLiteral("a page before the last was complete") : why;
            m_seen.pages << page;
            m_seen.pageBytes << 0;
            pageBytes = 0;
        } else if (type == ROWS) {
            pageBytes += static_cast<quint64>(payload.size());
            if (m_seen.pages.isEmpty())
                m_seen.problem = QStringLiteral("rows before a page");
            else
                m_seen.pageBytes.last() = pageBytes;
            if (m_seen.pages.size() == 1 && pageBytes == RowBytes(page) * page.height)
                m_seen.firstPageAt = std::chrono::steady_clock::now();
            stalled = m_answer == Answer::StallInPage;
        } else if (type == END) {
            quint32 count = 0;
            DecodeUint(payload, count);
            m_seen.endCount = static_cast<int>(count);
            lock.unlock();
            quint32 decision = 0;
            if (m_answer == Answer::Print)
                decision = PRINT;
            else if (m_answer == Answer::Cancel)
                decision = CANCEL;
            else if (m_answer == Answer::None)
                decision = NONE;
            if (decision != 0)
                SendPacket(fd, DECISION, EncodeUint(decision));
            else if (m_answer == Answer::GiveUp)
                SendPacket(fd, REFUSED, QByteArrayLiteral("no room for the pages"));
        } else {
            m_seen.problem = QStringLiteral("message type %1 from the filter").arg(type);
        }
    }
    m_connection = -1;
    ::close(fd);
}
