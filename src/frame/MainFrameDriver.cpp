#include "frame/MainFrame.h"

#include <QCloseEvent>

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

qint64 CMainFrame::OnDriverMessage(quint32, quint64, qint64)
{
    return 0;
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    event->accept();
}
