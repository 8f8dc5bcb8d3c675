// CAgentLink: offering the job to the agent, streaming its pages and reading the decision.
#include "AgentLink.h"

#include "cups/Rendezvous.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

using namespace agentwire;

CAgentLink::~CAgentLink()
{
    Close();
}

void CAgentLink::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

CAgentLink::Offer CAgentLink::OfferJob(const QByteArray &user, const JobInfo &job, int timeoutMs,
                                       QString *why)
{
    const passwd *entry = ::getpwnam(user.constData());
    if (entry == nullptr) {
        *why = QStringLiteral("the user \"%1\" of the job is not known on this computer")
                   .arg(QString::fromUtf8(user));
        return Offer::NoAgent;
    }
    const uid_t jobUid = entry->pw_uid;
    QString reason;
    m_fd = m_name.isEmpty() ? rendezvous::Connect(jobUid, &reason) : rendezvous::Connect(m_name, &reason);
    if (m_fd < 0) {
        *why = QStringLiteral("no preview agent of %1 (%2)").arg(QString::fromUtf8(user), reason);
        return Offer::NoAgent;
    }
    const rendezvous::Verdict verdict = rendezvous::JudgeAgent(rendezvous::PeerUid(m_fd), jobUid);
    if (!verdict.allowed) {
        Close();
        *why = QStringLiteral("refused the listener on the name of the preview agent of %1: %2")
                   .arg(QString::fromUtf8(user), verdict.reason);
        return Offer::NoAgent;
    }
    if (SendPacket(m_fd, JOB, EncodeJob(job)) != Io::Ok) {
        Close();
        *why = QStringLiteral("the preview agent of %1 closed the connection").arg(QString::fromUtf8(user));
        return Offer::NoAgent;
    }
    pollfd p{m_fd, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    quint32 type = 0;
    QByteArray payload;
    const Io io = ready > 0 ? ReceivePacket(m_fd, type, payload) : Io::WouldBlock;
    quint32 version = 0;
    if (io == Io::Ok && type == ACCEPTED && DecodeUint(payload, version))
        return Offer::Accepted;
    Close();
    if (io == Io::Ok && type == REFUSED) {
        *why = QStringLiteral("the preview agent refused the job: %1")
                   .arg(QString::fromUtf8(payload.left(static_cast<qsizetype>(kMaxTitleBytes))));
        return Offer::Refused;
    }
    *why = ready == 0 ? QStringLiteral("the preview agent did not answer within %1 s").arg(timeoutMs / 1000)
                      : QStringLiteral("the preview agent gave no valid answer to the job");
    return Offer::NoAgent;
}

bool CAgentLink::SendPage(const PageInfo &page)
{
    if (!Flush(true))
        return false;
    return !m_gone && SendPacket(m_fd, PAGE, EncodePage(page)) == Io::Ok;
}

bool CAgentLink::SendRows(const QByteArray &rows, bool pageDone)
{
    m_pending.append(rows);
    return Flush(pageDone);
}

bool CAgentLink::SendEnd(quint32 pageCount)
{
    if (!Flush(true))
        return false;
    return SendPacket(m_fd, END, EncodeUint(pageCount)) == Io::Ok;
}

// Sends whole packets of rows; the remainder under a packet's size waits unless all is asked for.
bool CAgentLink::Flush(bool all)
{
    qsizetype at = 0;
    const auto full = static_cast<qsizetype>(kMaxPayload);
    while (!m_gone && (m_pending.size() - at >= full || (all && at < m_pending.size()))) {
        const qsizetype size = std::min(full, m_pending.size() - at);
        if (SendPacket(m_fd, ROWS, m_pending.mid(at, size)) != Io::Ok)
            m_gone = true;
        at += size;
    }
    m_pending.remove(0, at);
    return !m_gone;
}

quint32 CAgentLink::Receive(int timeoutMs)
{
    if (m_decision != 0 || m_fd < 0)
        return m_decision != 0 ? m_decision : static_cast<quint32>(NONE);
    pollfd p{m_fd, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return 0;
    quint32 type = 0;
    QByteArray payload;
    quint32 value = 0;
    Io io = ready > 0 ? ReceivePacket(m_fd, type, payload) : Io::WouldBlock;
    // An agent that closes with rows of ours unread shows as a reset first, before the packets it sent
    // (its refusal); the next read has them, or the end.
    if (io == Io::End)
        io = ReceivePacket(m_fd, type, payload);
    const bool bPacket = io == Io::Ok;
    if (bPacket && type == DECISION && DecodeUint(payload, value) &&
        (value == PRINT || value == CANCEL || value == NONE)) {
        m_decision = value;
    } else if (bPacket && type == REFUSED) {
        m_decision = kGivenUp;
        m_strRefusal = QString::fromUtf8(payload.left(static_cast<qsizetype>(kMaxTitleBytes)));
    } else {
        m_decision = NONE;
    }
    return m_decision;
}

quint32 CAgentLink::PollDecision()
{
    return Receive(0);
}

quint32 CAgentLink::WaitDecision()
{
    return Receive(-1);
}
