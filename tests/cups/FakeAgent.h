#pragma once
// A session agent for the tests of corvane-cups that need no preview window.

#include "cups/AgentWire.h"

#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>
#include <sys/types.h>
#include <thread>

// A session agent for the tests of corvane-cups that need no preview window: it listens on the
// agent's name of this process's uid (or on a name of the test's own, taking this process's uid for the
// filter's as well), speaks the filter's messages, checks what arrives and answers
// as told. One job at a time.
class CFakeAgent {
public:
    enum class Answer {
        Print,       // ACCEPTED, then DECISION PRINT once the raster has ended
        Cancel,      // ACCEPTED, then DECISION CANCEL once the raster has ended
        None,        // ACCEPTED, then DECISION NONE once the raster has ended
        Refuse,      // REFUSED
        Hold,        // ACCEPTED, no decision: the preview stays open until the filter goes
        StallInPage, // ACCEPTED, stops reading after the first rows of page 1
        GiveUp,      // ACCEPTED, then REFUSED once the raster has ended (the job could not be shown)
    };

    explicit CFakeAgent(Answer answer, const QByteArray &name = QByteArray());
    ~CFakeAgent();
    bool IsListening() const { return m_listen >= 0; }

    struct Seen {
        bool connected = false;
        agentwire::JobInfo job;
        QList<agentwire::PageInfo> pages;
        QList<quint64> pageBytes; // row bytes received per page
        int endCount = -1;        // the page count of END, -1 before it
        bool closedByFilter = false;
        pid_t filterPid = -1;
        std::chrono::steady_clock::time_point jobAt;       // when the job was offered
        std::chrono::steady_clock::time_point firstPageAt; // when page 1's last row came
        QString problem;                                   // the first thing that broke the messages' rules
    };
    Seen Snapshot() const;
    // Sends a decision now (for a held job).
    void Decide(quint32 decision);
    // Waits until the filter is stalled in a page, the raster has ended or the filter has gone.
    bool WaitFor(bool (*done)(const Seen &), int nMs = 30000) const;

private:
    void Serve();
    void Note(const QString &problem);

    Answer m_answer;
    uid_t m_filterUid;
    int m_listen = -1;
    std::atomic<int> m_connection{-1};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    Seen m_seen;
    std::thread m_thread;
};
