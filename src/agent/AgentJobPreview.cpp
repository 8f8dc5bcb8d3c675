// A job's preview side: the job file, the start, the page reports, and the preview's messages.
#include "AgentJob.h"

#include "JobFolder.h"
#include "RateLog.h"

#include "driverside/JobFileWriter.h"
#include "driverside/PreviewStart.h"
#include "link/LinkMessages.h"
#include "log/Log.h"

#include <QSocketNotifier>

#include <climits>

using namespace agentwire;

namespace {

const QString kNotShown = QStringLiteral(
    "the preview could not open its window (no display it can reach, or it failed to start; the log of the "
    "agent has its reason)");

// Millimetres from micrometres, rounded, at least 1. A page size the raster does not give (0) is
// measured from the dots instead: dots x 25400 / dpi micrometres.
int Millimetres(quint32 micrometres, quint32 dots, quint32 dpi)
{
    const quint64 um = micrometres != 0 ? micrometres : static_cast<quint64>(dots) * 25400 / qMax(1u, dpi);
    return static_cast<int>(qMax<quint64>(1, (um + 500) / 1000));
}

} // namespace

bool CAgentJob::StartPreview(const PageInfo &firstPage, QString *why)
{
    // Raster rows run across the tape and the tape runs down the bitmap (orientation 1); the preview
    // takes one resolution for both directions, that of the dots across. The tape is the whole page,
    // as the page files show it.
    const int widthMm = Millimetres(firstPage.widthUm, firstPage.pageWidth, firstPage.xDpi);
    const int lengthMm = Millimetres(firstPage.lengthUm, firstPage.pageHeight, firstPage.yDpi);
    JobFileKeys keys;
    keys.maxTapeWidthMm = widthMm;
    keys.maxTapeLengthMm = lengthMm;
    keys.filePath = m_folder.path;
    keys.fileName = kPageFileName;
    keys.copies = static_cast<int>(qBound<quint32>(1, m_job.copies, INT_MAX));
    keys.tapeWidth = QStringLiteral("%1mm").arg(widthMm);
    keys.tapeLength = QStringLiteral("%1mm").arg(lengthMm);
    keys.docName = QString::fromUtf8(m_job.title);
    if (keys.docName.trimmed().isEmpty())
        keys.docName = QStringLiteral("Job %1").arg(m_job.jobId);
    keys.dpi = static_cast<int>(firstPage.xDpi);
    keys.orientation = 1;
    if (firstPage.xDpi != firstPage.yDpi)
        Log::Info(QStringLiteral("%1: the raster's dots are not square (%2 x %3 dpi); shown at %2 dpi")
                      .arg(Tag())
                      .arg(firstPage.xDpi)
                      .arg(firstPage.yDpi));

    PreviewCommand command;
    command.program = m_strPreviewProgram;
    command.bEndWithStarter = true; // a preview must not outlive the agent it would decide through
    command.jobFile = m_folder.path + QStringLiteral("job.ini");
    if (!WriteJobFile(command.jobFile, keys, why))
        return false;
    PreviewProcess process;
    if (!::StartPreview(command, process, why))
        return false;
    m_previewPid = process.pid;
    m_preview = std::make_unique<CDriverChannel>(process.fd);
    m_previewRead = new QSocketNotifier(process.fd, QSocketNotifier::Read, this);
    connect(m_previewRead, &QSocketNotifier::activated, this, &CAgentJob::OnPreviewReadable);
    m_previewWrite = new QSocketNotifier(process.fd, QSocketNotifier::Write, this);
    m_previewWrite->setEnabled(false);
    connect(m_previewWrite, &QSocketNotifier::activated, this, &CAgentJob::FlushPreview);
    Log::Info(QStringLiteral("%1: preview started, pid %2: %3 %4")
                  .arg(Tag())
                  .arg(m_previewPid)
                  .arg(command.program, process.arguments.join(u' ')));
    return true;
}

void CAgentJob::ReportPages(bool bDone)
{
    if (!m_preview || m_bCloseSent)
        return;
    m_preview->Post(WM_PREVIEW_PAGES, m_nPagesDone, bDone ? 1 : 0);
    FlushPreview();
}

void CAgentJob::ClosePreview()
{
    if (!m_preview || m_bCloseSent)
        return;
    m_bCloseSent = true;
    Log::Info(QStringLiteral("%1: closing the preview").arg(Tag()));
    m_preview->Post(WM_PREVIEW_CLOSE, 0, 0);
    FlushPreview();
}

void CAgentJob::FlushPreview()
{
    if (!m_preview)
        return;
    m_preview->Flush();
    m_previewWrite->setEnabled(m_preview->HasPending());
}

void CAgentJob::OnPreviewReadable()
{
    std::vector<CDriverChannel::Incoming> incoming;
    const bool bOpen = m_preview->Read(incoming);
    for (const CDriverChannel::Incoming &in : incoming) {
        if (in.bFrame)
            OnPreviewFrame(in.frame);
    }
    if (!bOpen) {
        OnPreviewGone();
        return;
    }
    FlushPreview();
}

void CAgentJob::OnPreviewFrame(const DriverFrame &frame)
{
    if (frame.kind == FRAME_POST && frame.message == WM_PREVIEW_OPENED) {
        m_bWindowOpened = true;
        Log::Info(QStringLiteral("%1: preview window 0x%2 open").arg(Tag()).arg(frame.wParam, 0, 16));
    } else if (frame.kind == FRAME_SEND && frame.message == WM_PREVIEW_RESULT) {
        if (frame.wParam != PREVIEW_RESULT_PRINT && frame.wParam != PREVIEW_RESULT_CANCEL) {
            Log::Info(QStringLiteral("%1: the preview's result %2 is refused").arg(Tag()).arg(frame.wParam));
            m_preview->Reply(frame, -1);
            return;
        }
        m_preview->Reply(frame, 0);
        const bool bPrint = frame.wParam == PREVIEW_RESULT_PRINT;
        Log::Info(QStringLiteral("%1: the user chose %2")
                      .arg(Tag(), bPrint ? QStringLiteral("print") : QStringLiteral("cancel")));
        if (m_stage != Stage::Decided)
            SendDecision(bPrint ? PRINT : CANCEL);
    } else if (frame.kind == FRAME_SEND && frame.message == WM_PREVIEW_ENDED) {
        m_preview->Reply(frame, 0);
        Log::Info(QStringLiteral("%1: the preview has ended").arg(Tag()));
        if (m_stage != Stage::Decided) {
            Log::Info(QStringLiteral("%1: the preview ended without the user's decision").arg(Tag()));
            NoDecision(kNotShown);
        }
    } else if (frame.kind == FRAME_SEND) {
        m_preview->Reply(frame, 0); // an unknown send is answered 0, as the preview does
    }
}

// The preview's end of the pair is closed: it has exited or died. Its files go with the folder.
void CAgentJob::OnPreviewGone()
{
    Log::Info(QStringLiteral("%1: the preview (pid %2) is gone").arg(Tag()).arg(m_previewPid));
    if (m_stage != Stage::Decided) {
        Log::Info(QStringLiteral("%1: the preview ended without the user's decision").arg(Tag()));
        NoDecision(kNotShown);
    }
    delete m_previewRead;
    m_previewRead = nullptr;
    delete m_previewWrite;
    m_previewWrite = nullptr;
    m_preview.reset();
    m_writer.Abandon();
    RemoveJobFolder(m_folder);
    CheckFinished();
}
