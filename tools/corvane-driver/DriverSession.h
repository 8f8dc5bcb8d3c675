#pragma once
// One job from the driver's side: the files, the preview process and the link.

#include "DriverOptions.h"
#include "LabelJob.h"

#include "driverside/DriverChannel.h"
#include "link/DriverFrame.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <memory>
#include <sys/types.h>

// Exit codes of corvane-driver: the user's decision, or what went wrong.
enum : int {
    EXIT_PRINT = 0,
    EXIT_CANCEL = 1,
    EXIT_CLOSED = 2,     // the preview closed without an accepted result
    EXIT_NOT_OPENED = 3, // the preview ended without announcing a window (a refused start)
    EXIT_BROKEN = 4,     // the preview died, or ended without WM_PREVIEW_ENDED
    EXIT_USAGE = 64,
};

// One job from the driver's side: the files, the preview process, the socket and what passed on it.
class CDriverSession {
public:
    explicit CDriverSession(const DriverOptions &options);
    ~CDriverSession();
    CDriverSession(const CDriverSession &) = delete;
    CDriverSession &operator=(const CDriverSession &) = delete;

    // Writes the job, starts the preview, runs the exchange until the preview has ended, prints the
    // summary and returns the exit code.
    int Run();

private:
    using Clock = std::chrono::steady_clock;

    bool Prepare();
    bool StartPreview();
    void Loop();
    void ReadFrames();
    void HandleFrame(const DriverFrame &frame);
    void OnOpened();
    void OnResult(const DriverFrame &frame);
    void OnEnded(const DriverFrame &frame);
    void RunTimers();
    void SendGarbageRound();
    quint64 Queue(quint32 kind, quint32 message, quint64 wParam, qint64 lParam, bool log = true);
    void QueueRaw(const QByteArray &packet);
    void Reply(const DriverFrame &request, qint64 result);
    int WaitForPreview();
    int Summary(int waitStatus);
    QStringList FilesLeft() const;
    long PreviewRssKb() const;
    int ElapsedMs(Clock::time_point since) const;

    DriverOptions m_options;
    LabelJob m_job;
    bool m_ownDir = false;
    pid_t m_pid = -1;
    std::unique_ptr<CDriverChannel> m_channel;

    Clock::time_point m_start;
    Clock::time_point m_opened;
    bool m_bOpened = false;
    bool m_bEnded = false;
    bool m_bFilesGoneAtEnded = false;
    int m_nEndedReplies = 0;
    int m_nResults = 0;
    int m_decision = 0; // 0 none, 1 print, 2 cancel
    bool m_bCloseSent = false;

    int m_nextReport = 0;
    Clock::time_point m_reportDue;
    bool m_bAwaitingReply = false;
    int m_garbageRound = 0;
    bool m_bGarbageDone = true;
    int m_probeMs = -1;
    bool m_bProbePending = false;
    Clock::time_point m_lastRead;
    Clock::time_point m_probeSent;
    quint64 m_probeSerial = 0;
    struct DelayedReply {
        DriverFrame request;
        qint64 result;
        Clock::time_point due;
    };
    QList<DelayedReply> m_delayed;
    QList<PageReport> m_reports;
};
