#pragma once

#include <QMainWindow>

class QCloseEvent;

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

    // The driver's messages, print and cancel, the close question and the busy cursor
    // (MainFrameDriver.cpp). The event table connects them; results are the replies to the driver.
    qint64 OnPreviewPages(quint64 wParam, qint64 lParam);
    qint64 OnPreviewClose(quint64 wParam, qint64 lParam);
    void OnFilePrint();
    void OnAppExit();
    // nID is the system command (SC_CLOSE = 0xF060 from the cancel button, the close box and Alt+F4).
    void OnSysCommand(unsigned nID, qint64 lParam);
    // Shows the busy arrow over the client area (the view included) until the driver has reported
    // that all pages exist.
    void UpdateBusyCursor();
    // The last step of the window's creation: bring the window to the front, post WM_PREVIEW_OPENED.
    void AnnounceToDriver();
    // Every message from the driver arrives here; the result is the reply to a send.
    qint64 OnDriverMessage(quint32 message, quint64 wParam, qint64 lParam);

protected:
    // The close box and Alt+F4 take the road of SC_CLOSE; a close the program asked for goes through.
    void closeEvent(QCloseEvent *event) override;

private:
    // Print, cancel and close requests are taken only while no result waits for its reply, no
    // message box of these handlers is open and the window is not closing.
    bool MayDecide() const;
    // Sends WM_PREVIEW_RESULT and waits; m_bResultPending holds while it waits.
    qint64 SendResult(quint64 nResult);
    // A message box owned by the window; counted in m_nOpenBoxes while it is open.
    int ShowBox(const QString &text, unsigned flags);
    // The close the program itself asks for: it goes through closeEvent without a question.
    void CloseFrame();
    // Page pane 221: "表示ページ : <current>/<count>", redrawn at once.
    void RefreshPagePane();

    bool m_bResultPending = false;
    // The driver (or a signal) asked to close while a box was open or a result waited; the handler
    // that owns the box or the wait closes the window when it ends.
    bool m_bCloseRequested = false;
    bool m_bClosing = false;
    int m_nOpenBoxes = 0;
    // (end of the driver-facing block)

public:

    int m_nZoom = 100;
    int m_nCurPage = 1;
    int m_bSpoolDone = 0;
};
