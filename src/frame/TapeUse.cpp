// Summing a job's tape from its pages' headers, and the tape-length tooltip's text.
#include "frame/TapeUse.h"

#include "app/PageFiles.h"
#include "res/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "view/BmpDecoder.h"
#include "view/BmpHeader.h"
#include "view/PageLoad.h"

#include <cmath>

CJobTape SumJobTape(const QString &strPageFileFormat, int nPageCount, int nOrientation)
{
    CJobTape job;
    for (int nPage = 1; nPage <= nPageCount; ++nPage) {
        CBmpHeaderInfo info;
        if (ReadBmpHeader(PageFileName(strPageFileFormat, nPage), info) != BMP_OK) {
            job.nFailedPage = nPage;
            break;
        }
        job.nDots += PageExtentAlongTape(info.nWidth, info.nHeight, nOrientation);
        ++job.nPages;
    }
    return job;
}

QString TapeUseToolTip(int nPageMm, int nPageDots, bool bSpoolDone, const CJobTape &job, int nDpi,
                       int nCopies)
{
    const QString page = FormatResString(IDS_TAPE_PAGE_FORMAT, {nPageMm, nPageDots});
    QString whole;
    if (!bSpoolDone) {
        whole = LoadResString(IDS_TAPE_JOB_PENDING);
    } else if (job.nFailedPage != 0) {
        whole = FormatResString(IDS_TAPE_JOB_UNREADABLE, {job.nFailedPage});
    } else if (nDpi <= 0 || nCopies <= 0) {
        whole = LoadResString(IDS_TAPE_JOB_UNKNOWN);
    } else {
        // The dots are summed first and converted once, so no page's rounding adds up over the job:
        // mm = dots x 25.4 / dpi x copies.
        const double dMm = double(job.nDots) * 25.4 / nDpi * nCopies;
        const QString mm = QString::number(std::floor(dMm + 0.5), 'f', 0);
        const QString m = QString::number(dMm / 1000.0, 'f', 2);
        whole = FormatResString(IDS_TAPE_JOB_FORMAT, {nCopies, mm, m});
    }
    return page + u'\n' + whole;
}
