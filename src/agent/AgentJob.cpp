// A job's filter side: the packets of the job, page by page into the folder, and the answers.
#include "AgentJob.h"

#include "JobFolder.h"
#include "RateLog.h"
#include "driverside/JobFileWriter.h"
#include "log/Log.h"

#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

using namespace agentwire;

namespace {

// How many packets one turn of the event loop takes from a filter, so that one fast filter does not
// keep the other jobs and previews waiting.
constexpr int kPacketsPerTurn = 64;

QString TypeName(quint32 type)
{
    switch (type) {
    case JOB:
        return QStringLiteral("JOB");
    case PAGE:
        return QStringLiteral("PAGE");
    case ROWS:
        return QStringLiteral("ROWS");
    case END:
        return QStringLiteral("END");
    default:
        return QStringLiteral("type %1").arg(type);
    }
}

} // namespace

CAgentJob::CAgentJob(int filterFd, uid_t peerUid, const QString &previewProgram, CRateLog *idleLog,
                     QObject *parent)
    : QObject(parent), m_filterFd(filterFd), m_peerUid(peerUid), m_strPreviewProgram(previewProgram),
      m_pIdleLog(idleLog)
{
    m_filterNotifier = new QSocketNotifier(filterFd, QSocketNotifier::Read, this);
    connect(m_filterNotifier, &QSocketNotifier::activated, this, &CAgentJob::OnFilterReadable);
    m_firstMessage = new QTimer(this);
    m_firstMessage->setSingleShot(true);
    connect(m_firstMessage, &QTimer::timeout, this, &CAgentJob::OnFirstMessageDue);
    m_firstMessage->start(kFirstMessageMs);
}

// A connection that holds a descriptor without offering a job is dropped.
void CAgentJob::OnFirstMessageDue()
{
    if (m_stage != Stage::AwaitJob || m_filterFd < 0)
        return;
    m_pIdleLog->Note(QStringLiteral("%1: no job within %2 s; closed").arg(Tag()).arg(kFirstMessageMs / 1000));
    CloseFilter({});
    CheckFinished();
}

CAgentJob::~CAgentJob()
{
    // The notifiers go before their descriptors are closed.
    delete m_filterNotifier;
    delete m_previewRead;
    delete m_previewWrite;
    m_preview.reset();
    if (m_filterFd >= 0)
        ::close(m_filterFd);
    m_writer.Abandon();
    RemoveJobFolder(m_folder);
}

QString CAgentJob::Tag() const
{
    if (m_stage == Stage::AwaitJob)
        return QStringLiteral("connection of uid %1").arg(m_peerUid);
    return QStringLiteral("job %1").arg(m_job.jobId);
}

void CAgentJob::OnFilterReadable()
{
    for (int i = 0; i < kPacketsPerTurn && m_filterFd >= 0; ++i) {
        quint32 type = 0;
        QByteArray payload;
        const Io io = ReceivePacket(m_filterFd, type, payload);
        if (io == Io::WouldBlock)
            return;
        QString why;
        if (io == Io::End && m_stage == Stage::AwaitJob) {
            // Connections that come and go without a job come in floods too.
            m_pIdleLog->Note(QStringLiteral("%1: closed without a job").arg(Tag()));
            CloseFilter({});
            CheckFinished();
            return;
        }
        if (io == Io::End) {
            why = m_stage == Stage::Decided    ? QString()
                  : m_stage == Stage::AwaitJob ? QStringLiteral("closed without a job")
                                               : QStringLiteral("the filter closed the connection");
        } else if (io == Io::Bad) {
            why = QStringLiteral("a malformed or oversized packet");
        } else if (m_stage == Stage::Decided || OnFilterPacket(type, payload, &why)) {
            continue;
        }
        const bool bWithdrawn = m_stage != Stage::Decided;
        CloseFilter(io == Io::End ? (why.isEmpty() ? QStringLiteral("the filter closed the connection") : why)
                                  : QStringLiteral("the filter's connection is dropped: ") + why);
        if (bWithdrawn)
            Withdraw();
        CheckFinished();
        return;
    }
}

bool CAgentJob::OnFilterPacket(quint32 type, const QByteArray &payload, QString *why)
{
    switch (m_stage) {
    case Stage::AwaitJob:
        if (type == JOB)
            return OnJob(payload, why);
        break;
    case Stage::Pages:
        if (type == PAGE)
            return OnPage(payload, why);
        if (type == ROWS)
            return OnRows(payload, why);
        if (type == END)
            return OnEnd(payload, why);
        break;
    case Stage::Ended:
    case Stage::Decided:
        break;
    }
    *why = QStringLiteral("%1 where it does not belong").arg(TypeName(type));
    return false;
}

bool CAgentJob::OnJob(const QByteArray &payload, QString *why)
{
    QString reason;
    if (!DecodeJob(payload, m_job, &reason)) {
        *why = QStringLiteral("a bad job message: ") + reason;
        return false;
    }
    m_stage = Stage::Pages;
    m_firstMessage->stop();
    // One arg() for all: a '%' in the title must not be taken for a place of a later argument.
    Log::Info(QStringLiteral("%1 from uid %2: \"%3\", %4 copies")
                  .arg(Tag(), QString::number(m_peerUid), QString::fromUtf8(m_job.title),
                       QString::number(m_job.copies)));
    m_folder = MakeJobFolder(m_job.jobId, &reason);
    if (m_folder.path.isEmpty()) {
        Refuse(reason);
        return true;
    }
    if (SendPacket(m_filterFd, ACCEPTED, EncodeUint(kVersion)) != Io::Ok) {
        *why = QStringLiteral("the job cannot be accepted: the filter does not read");
        return false;
    }
    Log::Info(QStringLiteral("%1: accepted into %2").arg(Tag(), m_folder.path));
    return true;
}

bool CAgentJob::OnPage(const QByteArray &payload, QString *why)
{
    if (m_writer.IsOpen()) {
        *why = QStringLiteral("PAGE while page %1 has %2 of %3 rows")
                   .arg(m_page.page)
                   .arg(m_writer.RowsDone())
                   .arg(m_page.height);
        return false;
    }
    if (payload.size() != EncodePage(PageInfo()).size()) {
        *why = QStringLiteral("a page message of %1 bytes").arg(payload.size());
        return false;
    }
    PageInfo page;
    QString reason;
    if (!DecodePage(payload, page, &reason)) {
        Refuse(QStringLiteral("the preview cannot show %1").arg(reason));
        return true;
    }
    if (page.page != m_nPagesDone + 1) {
        *why = QStringLiteral("page %1 where page %2 was due").arg(page.page).arg(m_nPagesDone + 1);
        return false;
    }
    const QString path = JobPageFile(m_folder.path, kPageFileName, static_cast<int>(page.page));
    // The rows at their place on the whole page (DecodePage checked that they lie on it).
    const QRect rows(static_cast<int>(page.left), static_cast<int>(page.top), static_cast<int>(page.width),
                     static_cast<int>(page.height));
    if (!m_writer.Begin(path, static_cast<int>(page.pageWidth), static_cast<int>(page.pageHeight),
                        static_cast<int>(page.bitsPerPixel), static_cast<int>(page.xDpi),
                        static_cast<int>(page.yDpi), rows, &reason)) {
        Refuse(reason);
        return true;
    }
    m_page = page;
    return true;
}

bool CAgentJob::OnRows(const QByteArray &payload, QString *why)
{
    if (!m_writer.IsOpen()) {
        *why = QStringLiteral("ROWS outside a page");
        return false;
    }
    if (payload.size() > m_writer.BytesLeft()) {
        *why = QStringLiteral("ROWS past the end of page %1").arg(m_page.page);
        return false;
    }
    QString reason;
    if (!m_writer.Append(payload.constData(), payload.size(), &reason)) {
        Refuse(reason);
        return true;
    }
    if (m_writer.IsComplete())
        PageComplete();
    return true;
}

void CAgentJob::PageComplete()
{
    QString reason;
    if (!m_writer.Finish(&reason)) {
        Refuse(reason);
        return;
    }
    ++m_nPagesDone;
    Log::Info(QStringLiteral(
                  "%1: page %2 written (%3 x %4 dots, %5 bits, %6 x %7 dpi; rows of %8 x %9 at %10, %11)")
                  .arg(Tag())
                  .arg(m_page.page)
                  .arg(m_page.pageWidth)
                  .arg(m_page.pageHeight)
                  .arg(m_page.bitsPerPixel)
                  .arg(m_page.xDpi)
                  .arg(m_page.yDpi)
                  .arg(m_page.width)
                  .arg(m_page.height)
                  .arg(m_page.left)
                  .arg(m_page.top));
    if (m_nPagesDone == 1) {
        if (!StartPreview(m_page, &reason))
            Refuse(reason);
    } else {
        ReportPages(false);
    }
}

bool CAgentJob::OnEnd(const QByteArray &payload, QString *why)
{
    quint32 count = 0;
    if (!DecodeUint(payload, count)) {
        *why = QStringLiteral("a bad END message");
        return false;
    }
    if (m_writer.IsOpen() || count != m_nPagesDone) {
        *why = QStringLiteral("END of %1 pages after %2 complete pages").arg(count).arg(m_nPagesDone);
        return false;
    }
    if (count == 0) {
        Log::Info(QStringLiteral("%1: no pages, nothing to show").arg(Tag()));
        SendDecision(PRINT);
        RemoveJobFolder(m_folder);
        return true;
    }
    m_stage = Stage::Ended;
    Log::Info(QStringLiteral("%1: all %2 pages written").arg(Tag()).arg(count));
    ReportPages(true);
    return true;
}

void CAgentJob::Refuse(const QString &reason)
{
    Log::Info(QStringLiteral("%1: refused: %2").arg(Tag(), reason));
    if (m_filterFd >= 0)
        SendPacket(m_filterFd, REFUSED, reason.toUtf8().left(static_cast<qsizetype>(kMaxPayload)));
    CloseFilter({});
    Withdraw();
    CheckFinished();
}

void CAgentJob::SendDecision(Decision decision)
{
    m_stage = Stage::Decided;
    m_writer.Abandon(); // pages that still come are not shown any more
    const QString name = decision == PRINT    ? QStringLiteral("print")
                         : decision == CANCEL ? QStringLiteral("cancel")
                                              : QStringLiteral("none");
    if (m_filterFd < 0)
        return;
    const bool bSent = SendPacket(m_filterFd, DECISION, EncodeUint(decision)) == Io::Ok;
    Log::Info(QStringLiteral("%1: decision %2%3")
                  .arg(Tag(), name, bSent ? QString() : QStringLiteral(" not delivered")));
}

void CAgentJob::CloseFilter(const QString &why)
{
    if (m_filterFd < 0)
        return;
    if (!why.isEmpty())
        Log::Info(QStringLiteral("%1: %2").arg(Tag(), why));
    delete m_filterNotifier;
    m_filterNotifier = nullptr;
    ::close(m_filterFd);
    m_filterFd = -1;
}

// The job is withdrawn before a decision: nothing more is written, and the files go, with the preview
// if it is up.
void CAgentJob::Withdraw()
{
    m_stage = Stage::Decided;
    m_writer.Abandon();
    if (m_preview) {
        ClosePreview();
    } else {
        RemoveJobFolder(m_folder);
    }
}

void CAgentJob::Shutdown()
{
    if (m_stage != Stage::Decided && m_stage != Stage::AwaitJob && m_filterFd >= 0) {
        Log::Info(QStringLiteral("%1: the agent is ending").arg(Tag()));
        NoDecision(QStringLiteral("the preview agent of the session ended before the preview was shown"));
    }
    CloseFilter({});
    Withdraw();
    CheckFinished();
}

void CAgentJob::NoDecision(const QString &notShown)
{
    if (m_bWindowOpened) {
        SendDecision(NONE);
        return;
    }
    // Refuse withdraws the job as well; the preview, if it still runs, is asked to close.
    Refuse(notShown);
}

void CAgentJob::CheckFinished()
{
    if (IsFinished() && !m_bFinished) {
        m_bFinished = true;
        Q_EMIT Finished(this);
    }
}
