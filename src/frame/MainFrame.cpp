#include "frame/MainFrame.h"

#include "view/ChildView.h"

CMainFrame::CMainFrame(QWidget *parent) : QMainWindow(parent) {}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::LoadFrame()
{
    auto *view = new CChildView(this);
    setCentralWidget(view);
    view->OnInitialUpdate();
    return true;
}

CChildView *CMainFrame::GetActiveView() const
{
    return qobject_cast<CChildView *>(centralWidget());
}

void CMainFrame::StepZoom(int) {}
