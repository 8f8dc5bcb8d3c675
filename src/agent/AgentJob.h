#pragma once
// One job from a filter: its connection, its folder with the pages and its preview.

#include "JobFolder.h"
#include "agent/BmpWriter.h"
#include "cups/AgentWire.h"
#include "driverside/DriverChannel.h"

#include <QObject>
#include <QString>

#include <memory>
#include <sys/types.h>

class CRateLog;
class QSocketNotifier;
class QTimer;

// The pages' base name in a job's folder: page 1 is page_00001.bmp.
inline const QString kPageFileName = QStringLiteral("page");

// One job from a filter: its connection, its private folder with the page files and the job file, the
// preview that shows it, and the decision that goes back.
//
// The road: JOB -> folder made, ACCEPTED; PAGE and ROWS -> each page's BMP written as its rows come;
// page 1 complete -> job file written and the preview started; each later page complete ->
// WM_PREVIEW_PAGES (n, 0); END -> (n, 1). The preview's accepted WM_PREVIEW_RESULT goes to the filter
// as DECISION PRINT or CANCEL; a preview that ends or dies without one gives DECISION NONE. After the
// decision whatever the filter still sends is read and dropped. Once the preview has ended the folder
// is removed; the job is finished when the filter's connection and the preview are both gone.
//
// A filter that closes or breaks the rules (an unknown, malformed or out-of-order packet) withdraws
// the job: the preview is asked to close, or, before it was started, the files are removed.
//
// A job that cannot be shown after it was accepted (a page that cannot be stored, a preview that ends
// before its window opened, the agent ending before then) is no decision of the user's: the filter
// hears REFUSED with the reason and applies the queue's policy. A connection that sends no JOB within
// kFirstMessageMs is closed.
class CAgentJob : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstMessageMs = 5000;

    // idleLog takes the line for a connection closed for sending nothing (connections come in floods).
    CAgentJob(int filterFd, uid_t peerUid, const QString &previewProgram, CRateLog *idleLog,
              QObject *parent = nullptr);
    ~CAgentJob() override;

    // The agent is ending: the filter hears NONE, the preview is asked to close.
    void Shutdown();
    bool IsFinished() const { return m_filterFd < 0 && !m_preview; }

Q_SIGNALS:
    void Finished(CAgentJob *job);

private:
    enum class Stage { AwaitJob, Pages, Ended, Decided };

    // The filter's side (AgentJob.cpp).
    void OnFilterReadable();
    // Each is false with the reason when the filter broke the rules; its connection is then dropped.
    bool OnFilterPacket(quint32 type, const QByteArray &payload, QString *why);
    bool OnJob(const QByteArray &payload, QString *why);
    bool OnPage(const QByteArray &payload, QString *why);
    bool OnRows(const QByteArray &payload, QString *why);
    bool OnEnd(const QByteArray &payload, QString *why);
    void PageComplete();
    void Refuse(const QString &reason);
    // The preview has ended without the user's word: NONE when its window was shown, else REFUSED.
    void NoDecision(const QString &notShown);
    void OnFirstMessageDue();
    void SendDecision(agentwire::Decision decision);
    void CloseFilter(const QString &why);
    void Withdraw();
    void CheckFinished();

    // The preview's side (AgentJobPreview.cpp).
    bool StartPreview(const agentwire::PageInfo &firstPage, QString *why);
    void ReportPages(bool bDone);
    void OnPreviewReadable();
    void OnPreviewFrame(const DriverFrame &frame);
    void FlushPreview();
    void ClosePreview();
    void OnPreviewGone();

    QString Tag() const;

    int m_filterFd = -1;
    uid_t m_peerUid = 0;
    QSocketNotifier *m_filterNotifier = nullptr;
    QString m_strPreviewProgram;
    CRateLog *m_pIdleLog = nullptr;
    QTimer *m_firstMessage = nullptr;

    Stage m_stage = Stage::AwaitJob;
    agentwire::JobInfo m_job;
    JobFolder m_folder;         // empty until made and after removal
    agentwire::PageInfo m_page; // the page being received
    quint32 m_nPagesDone = 0;
    CBmpWriter m_writer;

    std::unique_ptr<CDriverChannel> m_preview;
    pid_t m_previewPid = -1;
    QSocketNotifier *m_previewRead = nullptr;
    QSocketNotifier *m_previewWrite = nullptr;
    bool m_bCloseSent = false;
    bool m_bWindowOpened = false;
    bool m_bFinished = false;
};
