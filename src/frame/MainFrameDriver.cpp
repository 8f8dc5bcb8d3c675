#include "frame/MainFrame.h"

qint64 CMainFrame::OnPreviewPages(quint64, qint64)
{
    return 0;
}

qint64 CMainFrame::OnPreviewClose(quint64, qint64)
{
    return 0;
}

void CMainFrame::OnFilePrint() {}

void CMainFrame::OnAppExit() {}

void CMainFrame::OnSysCommand(unsigned, qint64) {}

void CMainFrame::UpdateBusyCursor() {}

void CMainFrame::AnnounceToDriver() {}
