#pragma once

#include <QMainWindow>

class CChildView;

// The preview window: toolbar, page view and status panes.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget *parent = nullptr);
    ~CMainFrame() override;

    // Creates the window's contents and runs the view's initial update; false when creation failed.
    bool LoadFrame();

    // The page view when it is a CChildView, else null.
    CChildView *GetActiveView() const;

    void StepZoom(int nSteps);

    int m_nZoom = 100;
    int m_nCurPage = 1;
    int m_bSpoolDone = 0;
};
