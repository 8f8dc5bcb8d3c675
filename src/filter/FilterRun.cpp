// One run of the CUPS filter: the job, the agent's answer, the preview or the policy, the printer's filter.
#include "FilterRun.h"

#include "InputKind.h"
#include "PrinterFilter.h"

#include "link/Utf8.h"
#include "log/Log.h"

#include <QFile>

#include <utility>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace agentwire;

namespace {

constexpr int kAnswerTimeoutMs = 10000;
// Rows between two looks for an early decision (a cancel while pages still come).
constexpr quint32 kRowsBetweenPolls = 256;

// CUPS cancels a job with SIGTERM. The spool file has no name, and the agent sees the connection
// close and closes the preview: all that is left is to go, quietly and with success.
void OnTerminate(int)
{
    Log::WriteRaw("INFO: The job was cancelled; the preview closes.\n");
    CRasterizer::EndOnSignal();
    ::_exit(CFilterRun::EXIT_DONE);
}

void DrainInput(int fd)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR))
            return;
    }
}

} // namespace

void CFilterRun::HandleSignals()
{
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int CFilterRun::Run(int argc, char **argv, const FilterEnvironment &environment, const Io &io)
{
    m_environment = environment;
    m_input = io.input;
    m_output = io.output;
    m_agent.SetName(io.agentName);
    QString why;
    if (!m_job.ParseArguments(argc, argv, &why)) {
        Log::Error(why);
        return EXIT_BROKEN;
    }
    QStringList notes;
    const bool queueOk = m_job.ReadQueue(m_environment, &notes, &why);
    for (const QString &note : notes)
        Log::Warning(note);
    if (!queueOk) {
        Log::Error(QStringLiteral("This queue cannot print: %1.").arg(why));
        return EXIT_BROKEN;
    }
    if (!m_job.File().isEmpty()) {
        m_input = ::open(m_job.File().constData(), O_RDONLY | O_CLOEXEC);
        if (m_input < 0) {
            Log::Error(QStringLiteral("The file %1 of the job cannot be read: %2")
                           .arg(QFile::decodeName(m_job.File()), QString::fromLocal8Bit(strerror(errno))));
            return EXIT_BROKEN;
        }
    }
    if (!inputkind::ReadHead(m_input, &m_head)) {
        Log::Error(QStringLiteral("The job cannot be read, nothing was printed: %1.")
                       .arg(QString::fromLocal8Bit(strerror(errno))));
        return EXIT_DONE;
    }
    const inputkind::Kind kind = inputkind::Identify(m_head);
    const bool document = m_job.ChooseFilter(kind);
    m_spool.SetPaperSizes(m_job.PaperSizes());
    if (!m_spool.OpenSpool(m_environment.tempDir, &why))
        return WithoutPreview(why, false);
    int raster = m_input;
    if (document) {
        int exitCode = EXIT_DONE;
        if ((raster = StartDocument(kind, &exitCode)) < 0)
            return exitCode;
    }
    if (!m_spool.StartRaster(raster, &why, std::exchange(m_head, {})))
        return BadRaster(why);
    switch (m_spool.NextPage(&why)) {
    case CRasterSpool::Header::Bad:
    case CRasterSpool::Header::End:
        return BadRaster(why);
    case CRasterSpool::Header::Page:
        break;
    }
    if (!m_spool.CanShow())
        return WithoutPreview(m_spool.ShowProblem(), true);

    JobInfo job;
    job.jobId = m_job.JobId();
    job.copies = m_job.Copies();
    job.title = Utf8Left(m_job.Title(), static_cast<qsizetype>(kMaxTitleBytes));
    if (m_agent.OfferJob(m_job.User(), job, kAnswerTimeoutMs, &why) != CAgentLink::Offer::Accepted)
        return WithoutPreview(why, true);
    SayWaiting();
    return Stream();
}

// A printer's filter that takes a document: the input is spooled whole, and the pages shown come from
// CUPS's rasterizer reading the spool. The raster copy's descriptor, or -1 when the job has ended.
int CFilterRun::StartDocument(inputkind::Kind kind, int *exitCode)
{
    QString why;
    if (kind != inputkind::Kind::Pdf && kind != inputkind::Kind::PostScript) {
        *exitCode =
            BadDocument(QStringLiteral("it is %1, and the filter of the printer takes %2")
                            .arg(inputkind::Name(kind), QString::fromUtf8(m_job.PrinterFilterSource())));
        return -1;
    }
    if (!m_passThrough.SpoolOriginal(m_spool, m_input, std::exchange(m_head, {}), &why)) {
        Log::Error(QStringLiteral("The job cannot be spooled, nothing was printed: %1.").arg(why));
        DrainInput(m_input);
        return -1;
    }
    const int raster = m_passThrough.StartRasterizer(m_job.Argv(), m_environment, &why);
    if (raster < 0)
        *exitCode = WithoutPreview(why, true);
    return raster;
}

int CFilterRun::Stream()
{
    QString why;
    QByteArray row;
    for (;;) {
        const PageInfo &page = m_spool.Page();
        if (!m_agent.SendPage(page))
            return Decided(m_agent.PollDecision());
        for (quint32 y = 0; y < page.height; ++y) {
            if (!m_spool.NextRow(row))
                return BadRaster(QStringLiteral("page %1 ends after %2 of its %3 rows")
                                     .arg(page.page)
                                     .arg(y)
                                     .arg(page.height));
            if (!m_agent.SendRows(row, y + 1 == page.height))
                return Decided(m_agent.PollDecision());
            if ((y + 1) % kRowsBetweenPolls == 0 || y + 1 == page.height) {
                if (const quint32 decision = m_agent.PollDecision())
                    return Decided(decision);
            }
        }
        m_pageShown = true;
        switch (m_spool.NextPage(&why)) {
        case CRasterSpool::Header::Bad:
            return BadRaster(why);
        case CRasterSpool::Header::End:
            if (m_passThrough.IsActive() && !(why = m_passThrough.RasterizerEnd()).isEmpty())
                return BadDocument(why);
            if (!m_agent.SendEnd(m_spool.PageCount()))
                return Decided(m_agent.PollDecision());
            SayWaiting(); // again: the filters before this one have had their last word
            return Decided(m_agent.WaitDecision());
        case CRasterSpool::Header::Page:
            if (!m_spool.CanShow()) {
                m_agent.Close();
                return WithoutPreview(m_spool.ShowProblem(), true);
            }
            break;
        }
    }
}

// CUPS runs one job of a queue at a time: while this one is open in a preview, the queue's state and
// the job's status say whose preview holds the queue, and how it ends.
void CFilterRun::SayWaiting()
{
    Log::Info(QStringLiteral("Job %1 is open in the preview of %2; the next jobs of this queue wait until "
                             "%2 prints or cancels it (an administrator ends it with: cancel %1).")
                  .arg(QString::number(m_job.JobId()), QString::fromUtf8(m_job.User())));
}

int CFilterRun::Decided(quint32 decision)
{
    if (decision == CAgentLink::kGivenUp) {
        m_agent.Close();
        return WithoutPreview(QStringLiteral("the preview agent gave the job up: %1").arg(m_agent.Refusal()),
                              true);
    }
    if (decision == PRINT) {
        m_agent.Close();
        Log::Info(QStringLiteral("Printing: the job was printed from the preview."));
        return Print(true);
    }
    m_agent.Close();
    DrainInput(m_input);
    if (decision == CANCEL)
        Log::Warning(QStringLiteral("Cancelled in the preview: nothing was printed."));
    else
        Log::Warning(QStringLiteral("The preview closed without a decision: nothing was printed."));
    return EXIT_DONE;
}

int CFilterRun::WithoutPreview(const QString &why, bool rasterRead)
{
    if (m_job.Policy() == CFilterJob::WithoutSession::Drop) {
        Log::Warning(QStringLiteral("Not printed, without preview: %1; %2.").arg(why, m_job.PolicySource()));
        DrainInput(m_input);
        return EXIT_DONE;
    }
    Log::Warning(QStringLiteral("Printed without preview: %1; %2.").arg(why, m_job.PolicySource()));
    return Print(rasterRead);
}

int CFilterRun::BadRaster(const QString &why)
{
    if (m_spool.SpoolFailed())
        return SpoolFailed();
    if (m_passThrough.IsActive()) {
        const QString rasterizer = m_passThrough.RasterizerEnd();
        return BadDocument(rasterizer.isEmpty() ? why : rasterizer);
    }
    m_agent.Close();
    Log::Error(QStringLiteral("The raster of the job is damaged, nothing was printed: %1.").arg(why));
    DrainInput(m_input);
    return EXIT_DONE;
}

int CFilterRun::SpoolFailed()
{
    m_agent.Close();
    if (!m_pageShown && (m_job.Policy() == CFilterJob::WithoutSession::Drop || !m_job.File().isEmpty()))
        return WithoutPreview(m_spool.SpoolProblem(), true);
    Log::Error(
        QStringLiteral("The job cannot be spooled, nothing was printed: %1.").arg(m_spool.SpoolProblem()));
    DrainInput(m_input);
    return EXIT_DONE;
}

int CFilterRun::BadDocument(const QString &why)
{
    m_agent.Close();
    Log::Error(QStringLiteral("The document of the job cannot be rasterized for the preview, nothing was "
                              "printed: %1.")
                   .arg(why));
    DrainInput(m_input);
    return EXIT_DONE;
}

// fromSpool: the raster API has read from the input, so the printer's filter reads the spool (after
// the rest of the input is spooled too); otherwise it reads the untouched input itself.
int CFilterRun::Print(bool fromSpool)
{
    char **argv = m_job.Argv();
    int input = m_input;
    if (fromSpool && m_passThrough.IsActive()) {
        input = m_passThrough.Original();
        argv[6] = nullptr; // the spooled document, not the job's file, is the printer filter's input
    } else if (fromSpool) {
        const bool spooled = m_spool.DrainToEnd();
        if (spooled) {
            input = m_spool.Rewound();
            argv[6] = nullptr; // the spool, not the job's file, is the printer filter's input
        } else if (m_job.File().isEmpty() || ::lseek(m_input, 0, SEEK_SET) != 0) {
            // The raster came through a pipe: what the spool lacks is gone.
            Log::Error(QStringLiteral("The job cannot be spooled, nothing was printed: %1.")
                           .arg(m_spool.SpoolFailed() ? m_spool.SpoolProblem()
                                                      : QString::fromLocal8Bit(strerror(errno))));
            DrainInput(m_input);
            return EXIT_DONE;
        }
        // Otherwise the job's file, read again from its start, is the whole job.
    }
    QString why;
    if (RunPrinterFilter(m_job.PrinterFilter(), argv, input, m_output, fromSpool ? QByteArray() : m_head,
                         &why))
        return EXIT_DONE;
    Log::Error(why);
    return EXIT_BROKEN;
}
