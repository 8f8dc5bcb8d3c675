#pragma once
// The session agent: takes jobs from the print filter and shows each in a preview.

#include "RateLog.h"

#include <QList>
#include <QObject>
#include <QString>

#include <sys/types.h>

class CAgentJob;
class CDisplayWatch;
class QSocketNotifier;
class QTimer;

// The session agent: listens on the rendezvous name of the user, takes jobs from the print filter
// (root or the scheduler's filter user only; everyone else is refused, and the refusals are logged at
// a bounded rate), one CAgentJob each, and ends on SIGTERM, SIGINT or SIGHUP (the session's end) or
// when its display goes away, closing every preview first. An agent that cannot reach a display at
// its start does not start.
class CAgent : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString previewProgram; // empty: beside the agent, else on PATH
        uid_t nameUid;          // whose rendezvous name to listen on: normally the agent's own uid
    };
    explicit CAgent(const Options &options, QObject *parent = nullptr);
    ~CAgent() override;

    // Takes the name and starts listening. Returns -1 when the agent runs (the event loop then runs
    // it until it quits with 0), otherwise the exit code: 0 when the user's agent already runs, 1 when
    // the name is held by another process, no display can be reached or the agent cannot run.
    int Start();

private:
    int TakeName();
    void OnListenerReadable();
    void PauseAccepting();
    void OnSignal();
    void OnJobFinished(CAgentJob *job);
    void Reap();
    void Shutdown(const QString &why);
    void GiveUp();

    Options m_options;
    QString m_strPreview;
    uid_t m_filterUid = static_cast<uid_t>(-1);
    int m_listenFd = -1;
    QSocketNotifier *m_listenNotifier = nullptr;
    int m_signalPipe[2] = {-1, -1};
    QSocketNotifier *m_signalNotifier = nullptr;
    QList<CAgentJob *> m_jobs;
    CDisplayWatch *m_display = nullptr;
    CRateLog m_refusals;      // connections of other users
    CRateLog m_ownProbes;     // connections of this user's own processes (a second agent looking at the name)
    CRateLog m_idle;          // connections that sent no job
    CRateLog m_noDescriptors; // accepts that failed for want of descriptors
    QTimer *m_resume = nullptr;
    bool m_bEnding = false;
    QTimer *m_giveUp = nullptr;
};
