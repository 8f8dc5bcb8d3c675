#pragma once
// One run of corvane-cups, from the scheduler's command line to the exit status.

#include "AgentLink.h"
#include "FilterEnvironment.h"
#include "FilterJob.h"
#include "PassThrough.h"
#include "RasterSpool.h"

#include <QString>

#include <unistd.h>

// One run of corvane-cups, from the scheduler's command line to the exit status:
//   read page 1's header -> offer the job to the user's agent -> stream every page as it completes ->
//   wait for the decision -> print: the printer's filter reads the spooled raster; cancel: nothing.
// A printer whose filter takes PDF or PostScript gets the same, with CUPS's rasterizer making the
// pages shown from the spooled document, and the document itself going to the printer's filter.
// Without a preview (no agent, refused, a page the preview cannot show) the queue's policy decides:
// Print hands the raster unchanged to the printer's filter, Drop prints nothing. A spool that cannot be
// written (a full TempDir) never gives half a job: before the preview had a page the policy decides (Print
// reads the job's file again, or prints nothing when the raster came through a pipe), after it nothing
// is printed. Everything that is not
// a broken queue ends with status 0, so that CUPS completes the job and keeps the queue going.
// The run works on the descriptors and the environment it is given and logs through Log's sink; on Print
// with a printer's filter program this process becomes that program (a printer that takes the data as
// it is, "-", gets it copied to the output instead).
class CFilterRun {
public:
    // The exit status: 0 ends the job as completed; any other status stops the job ("Job stopped due
    // to filter errors"), which a user's cancel, a missing session or bad input must never cause.
    enum Exit : int {
        EXIT_DONE = 0,   // the job ends as completed, whatever was or was not printed
        EXIT_BROKEN = 1, // the queue itself is broken (no printer filter to run): the job is kept, stopped
    };

    struct Io {
        int input = STDIN_FILENO;   // the job's data when the arguments name no file
        int output = STDOUT_FILENO; // the printer's data
        QByteArray agentName;       // where to find the agent; empty: the rendezvous name of the job's user
    };

    // argv is the scheduler's command line, kept for the printer's filter.
    int Run(int argc, char **argv, const FilterEnvironment &environment, const Io &io);
    // CUPS cancels a job with SIGTERM: the run ends quietly and with success. SIGPIPE is ignored (a
    // closed agent or printer is an error result). For the program, before Run.
    static void HandleSignals();

private:
    int StartDocument(inputkind::Kind kind, int *exitCode);
    int Stream();
    void SayWaiting();
    int Decided(quint32 decision);
    int WithoutPreview(const QString &why, bool rasterRead);
    int BadRaster(const QString &why);
    int SpoolFailed();
    int BadDocument(const QString &why);
    int Print(bool fromSpool);

    CFilterJob m_job;
    CRasterSpool m_spool;
    CAgentLink m_agent;
    CPassThrough m_passThrough;
    FilterEnvironment m_environment;
    int m_input = 0;
    int m_output = STDOUT_FILENO;
    bool m_pageShown = false; // the preview has had a whole page
    // The input's first bytes, read to tell its kind, until something else has taken them.
    QByteArray m_head;
};
