#pragma once
// The tape-length pane's tooltip: the page's and the whole job's tape.

#include "frame/TapeUse.h"

#include <QObject>

class CMainFrame;

// The tape-length pane's tooltip: the page's length in mm and in dots and, once the driver has
// reported that all pages exist, the whole job's tape (TapeUseToolTip). Only the tooltip changes:
// the pane's text and the job's tape length stay what the page navigation made them.
class CTapeUseTip : public QObject {
    Q_OBJECT
public:
    explicit CTapeUseTip(CMainFrame *frame);

    // Rewrites the tooltip from the page shown; reads the pages' headers again when the page count
    // or the driver's completion changed since the last sum. Runs when the frame writes a pane and
    // at the idle update (the first page is loaded after the panes are built).
    void Refresh();

private:
    CMainFrame *m_pFrame;
    CJobTape m_job;
    bool m_bSummed = false;
    int m_nSummedCount = 0;
};
