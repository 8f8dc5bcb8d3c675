#pragma once

#include "AgentLink.h"
#include "FilterJob.h"
#include "RasterSpool.h"

#include <QString>

// One run of corvane-cups, from the scheduler's command line to the exit status:
//   read page 1's header -> offer the job to the user's agent -> stream every page as it completes ->
//   wait for the decision -> print: the printer's filter reads the spooled raster; cancel: nothing.
// Without a preview (no agent, refused, a page the preview cannot show) the queue's policy decides:
// Print hands the raster unchanged to the printer's filter, Drop prints nothing. Everything that is not
// a broken queue ends with status 0, so that CUPS completes the job and keeps the queue going.
class CFilterRun {
public:
    int Run(int argc, char **argv);

private:
    int Stream();
    int Decided(quint32 decision);
    int WithoutPreview(const QString &why, bool rasterRead);
    int BadRaster(const QString &why);
    int Print(bool fromSpool);

    CFilterJob m_job;
    CRasterSpool m_spool;
    CAgentLink m_agent;
    int m_input = 0;
};
