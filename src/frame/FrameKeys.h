#pragma once
// The preview window's keyboard shortcuts, Escape and the shortcut texts of the tooltips.

#include <QObject>
#include <QString>

class CMainFrame;
class QKeyEvent;
class QWidget;

// The preview window's keyboard: page and zoom shortcuts that work wherever the focus is in the
// window, Escape in the view (cancel) and in the zoom and page boxes (back to the view), and the
// shortcuts shown in the toolbar's tooltips. Each key calls the frame's own handler for the command,
// so a key does exactly what the button or the box does.
//
// Keys are caught by event filters on the widgets that take the focus: the view, the zoom box (an
// editable combo box passes its keys straight to its line edit, past any filter on the edit) and
// the page box.
class CFrameKeys : public QObject {
    Q_OBJECT
public:
    explicit CFrameKeys(CMainFrame *frame);

    // The shortcut of a toolbar command or box as Qt writes it on this platform ("Ctrl+P"); several
    // are joined as Qt joins them. Empty for an id without one.
    static QString ShortcutText(int nID);
    // A tooltip label with its shortcut appended in parentheses, as Qt appends it to an action.
    static QString LabelWithShortcut(const QString &label, int nID);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Window-wide shortcuts; true when the key was one.
    bool OnWindowKey(const QKeyEvent &key);
    bool OnEscape(QObject *watched, const QKeyEvent &key);
    void GoToPage(int nPage);
    void FocusPageBox();
    void ApplyToolTips();

    CMainFrame *m_pFrame;
};
