// One run of the CUPS filter: the job, the agent's answer, the preview or the policy, the printer's filter.
#include "FilterRun.h"

#include "CupsLog.h"
#include "PrinterFilter.h"

#include "link/Utf8.h"

#include <QFile>

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
    cupslog::WriteRaw("INFO: The job was cancelled; the preview closes.\n");
    ::_exit(cupslog::EXIT_DONE);
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

int CFilterRun::Run(int argc, char **argv)
{
    QString why;
    if (!m_job.ParseArguments(argc, argv, &why)) {
        cupslog::Error(why);
        return cupslog::EXIT_BROKEN;
    }
    QStringList notes;
    const bool queueOk = m_job.ReadQueue(&notes, &why);
    for (const QString &note : notes)
        cupslog::Warning(note);
    if (!queueOk) {
        cupslog::Error(QStringLiteral("This queue cannot print: %1.").arg(why));
        return cupslog::EXIT_BROKEN;
    }
    if (!m_job.File().isEmpty()) {
        m_input = ::open(m_job.File().constData(), O_RDONLY | O_CLOEXEC);
        if (m_input < 0) {
            cupslog::Error(
                QStringLiteral("The job's file %1 cannot be read: %2")
                    .arg(QFile::decodeName(m_job.File()), QString::fromLocal8Bit(strerror(errno))));
            return cupslog::EXIT_BROKEN;
        }
    }
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!m_spool.OpenSpool(&why))
        return WithoutPreview(why, false);
    if (!m_spool.StartRaster(m_input, &why))
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
    cupslog::Info(QStringLiteral("Showing the job in the preview."));
    return Stream();
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
        switch (m_spool.NextPage(&why)) {
        case CRasterSpool::Header::Bad:
            return BadRaster(why);
        case CRasterSpool::Header::End:
            if (!m_agent.SendEnd(m_spool.PageCount()))
                return Decided(m_agent.PollDecision());
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

int CFilterRun::Decided(quint32 decision)
{
    if (decision == PRINT) {
        m_agent.Close();
        cupslog::Info(QStringLiteral("Printing: the job was printed from the preview."));
        return Print(true);
    }
    m_agent.Close();
    DrainInput(m_input);
    if (decision == CANCEL)
        cupslog::Warning(QStringLiteral("Cancelled in the preview: nothing was printed."));
    else
        cupslog::Warning(QStringLiteral("The preview closed without a decision: nothing was printed."));
    return cupslog::EXIT_DONE;
}

int CFilterRun::WithoutPreview(const QString &why, bool rasterRead)
{
    if (m_job.Policy() == CFilterJob::WithoutSession::Drop) {
        cupslog::Warning(
            QStringLiteral("Not printed, without preview: %1; %2.").arg(why, m_job.PolicySource()));
        DrainInput(m_input);
        return cupslog::EXIT_DONE;
    }
    cupslog::Warning(QStringLiteral("Printed without preview: %1; %2.").arg(why, m_job.PolicySource()));
    return Print(rasterRead);
}

int CFilterRun::BadRaster(const QString &why)
{
    m_agent.Close();
    cupslog::Error(QStringLiteral("The job's raster is damaged, nothing was printed: %1.").arg(why));
    DrainInput(m_input);
    return cupslog::EXIT_DONE;
}

// fromSpool: the raster API has read from the input, so the printer's filter reads the spool (after
// the rest of the input is spooled too); otherwise it reads the untouched input itself.
int CFilterRun::Print(bool fromSpool)
{
    char **argv = m_job.Argv();
    int input = m_input;
    if (fromSpool) {
        if (!m_spool.DrainToEnd()) {
            cupslog::Error(QStringLiteral("The job cannot be spooled: %1; nothing was printed.")
                               .arg(QString::fromLocal8Bit(strerror(errno))));
            DrainInput(m_input);
            return cupslog::EXIT_DONE;
        }
        input = m_spool.Rewound();
        argv[6] = nullptr; // the spool, not the job's file, is the printer filter's input
    }
    const QString error = RunPrinterFilter(m_job.PrinterFilter(), argv, input);
    if (error.isEmpty())
        return cupslog::EXIT_DONE;
    cupslog::Error(error);
    return cupslog::EXIT_BROKEN;
}
