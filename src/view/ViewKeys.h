#pragma once
// The page view's scrolling keys.

#include <QObject>

class CChildView;

// The page view's scrolling keys: the arrows, PageUp/PageDown and Home/End (without Ctrl, Alt or
// Shift) scroll the view by its layout's line and page steps (KeyScroll). An event filter on the
// view, so the view itself needs no key handling of its own.
class CViewKeys : public QObject {
    Q_OBJECT
public:
    explicit CViewKeys(CChildView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CChildView *m_pView;
};
