#pragma once
// The tape a job uses, page by page and in total, and the text that shows it.

#include <QString>
#include <QtGlobal>

// The tape a job uses: each page's length along the tape read from its bitmap's headers (no page is
// decoded), summed over the job.
struct CJobTape {
    int nPages = 0;      // pages whose headers were read
    qint64 nDots = 0;    // their extents along the tape, summed
    int nFailedPage = 0; // the first page whose headers could not be read, or 0
};

// Reads the headers of pages 1 .. nPageCount and sums their extents along the tape (widths when the
// tape runs across the screen, orientation 2, else heights). Stops at the first page that cannot be
// read: a sum without it would understate the tape.
CJobTape SumJobTape(const QString &strPageFileFormat, int nPageCount, int nOrientation);

// The tape-length pane's tooltip. First line: the page shown, nPageMm (the pane's own length) and
// nPageDots along the tape. Second line: the whole job, nCopies times the summed length, in mm and in
// m, once the driver has reported that all pages exist; before that, that the pages are still being
// made.
QString TapeUseToolTip(int nPageMm, int nPageDots, bool bSpoolDone, const CJobTape &job, int nDpi,
                       int nCopies);
