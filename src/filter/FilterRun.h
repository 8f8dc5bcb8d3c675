#pragma once

#include "AgentLink.h"
#include "FilterJob.h"
#include "PassThrough.h"
#include "RasterSpool.h"

#include <QString>

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
class CFilterRun {
public:
    int Run(int argc, char **argv);

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
    int m_input = 0;
    bool m_pageShown = false; // the preview has had a whole page
    // The input's first bytes, read to tell its kind, until something else has taken them.
    QByteArray m_head;
};
