#pragma once
// corvane-cups's end of the connection to the printing user's session agent.

#include "cups/AgentWire.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// corvane-cups's end of the connection to the printing user's session agent: finds the agent by the
// job's user, makes sure the listener really is that user's, offers the job and streams its pages.
class CAgentLink {
public:
    CAgentLink() = default;
    ~CAgentLink();
    CAgentLink(const CAgentLink &) = delete;
    CAgentLink &operator=(const CAgentLink &) = delete;

    // The abstract name to find the agent on instead of the rendezvous name of the job's user (a test's
    // own); the listener's uid is checked all the same.
    void SetName(const QByteArray &name) { m_name = name; }

    enum class Offer { Accepted, NoAgent, Refused };
    // Connects to the agent of user and offers the job; waits up to timeoutMs for the answer.
    // NoAgent and Refused come with the reason (no such user, nobody listening, a listener of
    // another uid, the agent's own refusal, no answer).
    Offer OfferJob(const QByteArray &user, const agentwire::JobInfo &job, int timeoutMs, QString *why);

    // False when the agent has gone (the decision is then NONE).
    bool SendPage(const agentwire::PageInfo &page);
    // Queues converted rows and sends them in packets of at most the payload limit; at the end of a
    // page everything queued goes at once.
    bool SendRows(const QByteArray &rows, bool pageDone);
    bool SendEnd(quint32 pageCount);

    // The agent gave the job up after it had accepted it (a page it could not store, a preview that
    // could not be shown, the session ending before the window opened): no decision, the policy applies.
    // Not a value on the wire; Refusal() holds the agent's reason.
    static constexpr quint32 kGivenUp = 0x100;

    // The user's decision when one has come, without waiting; 0 when none has come yet.
    quint32 PollDecision();
    // Waits for the decision; NONE when the agent goes away or speaks out of turn.
    quint32 WaitDecision();
    const QString &Refusal() const { return m_strRefusal; }

    void Close();

private:
    bool Flush(bool all);
    quint32 Receive(int timeoutMs);

    int m_fd = -1;
    QByteArray m_name;
    QByteArray m_pending;
    quint32 m_decision = 0;
    QString m_strRefusal;
    bool m_gone = false;
};
