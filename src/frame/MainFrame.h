#pragma once
// The preview window: toolbar, page view and status panes.

#include <QMainWindow>

#include <QHash>
#include <QVector>

class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QStatusBar;
class QToolBar;

class CChildView;
class CFrameAccessibility;
class CFrameKeys;
class CTapeUseTip;
class CWistrelToolTipCtrl;

// The preview window: a toolbar (print, zoom box, previous page, page box, next page, cancel), the page
// view and the status panes (page, copies, tape width, tape length). No menu bar.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget *parent = nullptr);
    ~CMainFrame() override;

    // PreCreateWindow, OnCreate and the view's initial update; false when OnCreate returned -1 (the
    // window then has no contents and must not be shown).
    bool LoadFrame();

    // The page view when it is a CChildView, else null.
    CChildView *GetActiveView() const;

    // Ctrl and the mouse wheel over the view: steps through the percent entries of the zoom list, in
    // (toward 600 %) for nSteps > 0, out for nSteps <= 0.
    void StepZoom(int nSteps);

    // Routes a command by id: the page view, then this frame's command table, then the application
    // (the about command). True when someone handled it.
    bool OnCmdMsg(int nID);

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
    // Sends the user's decision and closes the window when the driver accepts it (or a close request
    // came meanwhile); a refusal is reported with nRefusedError and the window stays.
    void SendDecision(quint64 nResult, int nRefusedError);
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
    // The frame has had its first size notification (the one that comes as it is shown).
    bool m_bSized = false;

public:
    // Construction (MainFrameCreate.cpp).
    bool PreCreateWindow();
    // 0 on success, -1 when a part of the window could not be built.
    int OnCreate();
    void OnSetFocus();
    void OnSize();

    // The zoom box (MainFrameZoom.cpp).
    void OnZoomSelect();
    void OnZoomEnter();
    void OnZoomSetFocus();
    void OnZoomKillFocus();

    // The page controls and the enabling rules (MainFramePages.cpp).
    void OnPagePrev();
    void OnPageNext();
    void OnPageEnter();
    void OnPageSetFocus();
    void OnPageKillFocus();
    bool OnUpdateToolbar(int nID) const;
    bool OnUpdateIndicator(int nID) const;
    // The idle update: asks the update handlers for every toolbar command and pane of the update table
    // and enables each accordingly. Runs whenever the event loop is about to wait.
    void OnIdleUpdate();

    // The controls, reached by id: toolbar commands (57607, 202, 204, 57665), the zoom box (201), the
    // page box (203) and the status panes (221 .. 225).
    QAction *GetCommand(int nID) const;
    QComboBox *GetZoomBox() const { return m_pZoomBox; }
    QLineEdit *GetPageBox() const { return m_pPageBox; }
    QLabel *GetPane(int nID) const;
    CWistrelToolTipCtrl *GetToolTipCtrl() const { return m_pToolTip; }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Handler = void (CMainFrame::*)();
    using UpdateHandler = bool (CMainFrame::*)(int) const;
    struct FocusEntry {
        Handler onSetFocus = nullptr;
        Handler onKillFocus = nullptr;
    };
    struct UpdateEntry {
        int nID;
        UpdateHandler handler;
    };

    // The event table: every command, control notification and update entry, in one place.
    void ConnectEventTable();
    void OnCommand(int nID, Handler handler);
    void OnUpdateCommandUI(int nID, UpdateHandler handler);

    bool CreateToolBar();
    bool CreateStatusBar();
    void SetPaneText(int nID, const QString &text);
    // Shows a text in the zoom box: an entry's text (Latin case aside) selects that entry, any other
    // text goes into the edit field and leaves the selection as it is.
    void SetZoomBoxText(const QString &text);
    void SelectZoomItem(int nIndex);
    // Message 805 or 806: the box that refused keeps its text while the message is up.
    void ShowRefusal(int nMessageId);
    // Typed characters reach the page box only when they are digits; pasted text is not filtered.
    bool FilterPageBoxInput(QEvent *event);

public:
    int m_nZoom = 100;
    int m_nCurPage = 1;
    int m_bSpoolDone = 0;
    QToolBar *m_wndToolBar = nullptr;
    QStatusBar *m_wndStatusBar = nullptr;

private:
    QComboBox *m_pZoomBox = nullptr;
    QLineEdit *m_pPageBox = nullptr;
    CWistrelToolTipCtrl *m_pToolTip = nullptr;
    QHash<int, QAction *> m_commandActions;
    QHash<int, Handler> m_commands;
    QHash<QObject *, FocusEntry> m_focusHandlers;
    QVector<UpdateEntry> m_updates;
    QVector<QLabel *> m_panes;
    // A refusal's message box is up: the focus it takes is not the user leaving the box.
    bool m_bRefusing = false;
    // The keyboard, the accessibility announcements and the tape-use tooltip (created last in OnCreate).
    CFrameKeys *m_pKeys = nullptr;
    CFrameAccessibility *m_pAccessibility = nullptr;
    CTapeUseTip *m_pTapeUseTip = nullptr;
};
