#pragma once
// CUPS's own rasterizer as a child process that turns a document into CUPS raster.

#include "FilterEnvironment.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// CUPS's own rasterizer (gstoraster of cups-filters, in $CUPS_SERVERBIN/filter) as a child process that
// turns a PDF or PostScript document into the CUPS raster a raster driver of the queue's PPD would get:
// the job's arguments, the scheduler's environment with PPD= the queue's PPD, and CUPS raster asked for
// whatever the queue's last type is. Its diagnostics go to an unlinked file, not to the scheduler, so
// that the job's messages stay corvane-cups's; the last ERROR line is kept for the reason of a failure.
// It runs with a temporary folder of its own, removed when it ends, however it ends while corvane-cups
// lives (only a SIGKILL of corvane-cups leaves the folder and what Ghostscript had in it).
class CRasterizer {
public:
    CRasterizer() = default;
    ~CRasterizer();
    CRasterizer(const CRasterizer &) = delete;
    CRasterizer &operator=(const CRasterizer &) = delete;

    // Starts the rasterizer on documentFd (read from its start; the descriptor's offset is shared, so
    // nobody else reads it until the rasterizer has ended). The read end of its raster, -1 with why.
    int Start(char **argv, int documentFd, const FilterEnvironment &environment, QString *why);
    bool IsRunning() const { return m_pid > 0; }
    // Waits for the rasterizer's end (its raster has been read to the end); empty when it ended well,
    // else why not.
    QString Finish();
    // Ends the rasterizer now, whatever it is doing.
    void Stop();

    // For the SIGTERM handler: kills a running rasterizer and removes its temporary folder, with
    // system calls only.
    static void EndOnSignal();

private:
    QString Reason(int status);

    pid_t m_pid = -1;
    int m_raster = -1;
    int m_log = -1;
    QByteArray m_program;
};
