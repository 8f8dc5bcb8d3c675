#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <sys/types.h>

class CAgentJob;
class QSocketNotifier;
class QTimer;

// The session agent: listens on the rendezvous name of the user, takes jobs from the print filter
// (root or the scheduler's filter user only; everyone else is refused and logged), one CAgentJob each,
// and ends on SIGTERM, SIGINT or SIGHUP (the session's end), closing every preview first.
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
    // the name is held by another user or the agent cannot run.
    int Start();

private:
    int TakeName();
    void OnListenerReadable();
    void OnSignal();
    void OnJobFinished(CAgentJob *job);
    void Reap();
    void Shutdown(int signal);
    void GiveUp();

    Options m_options;
    QString m_strPreview;
    uid_t m_filterUid = static_cast<uid_t>(-1);
    int m_listenFd = -1;
    QSocketNotifier *m_listenNotifier = nullptr;
    int m_signalPipe[2] = {-1, -1};
    QSocketNotifier *m_signalNotifier = nullptr;
    QList<CAgentJob *> m_jobs;
    bool m_bEnding = false;
    QTimer *m_giveUp = nullptr;
};
