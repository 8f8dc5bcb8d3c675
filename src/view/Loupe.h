#pragma once
// The page view's dot-exact loupe.

#include <QPoint>
#include <QWidget>

class CChildView;

// The dot-exact loupe of the page view: while the middle button, or Shift+Space, is held over the
// view, a square lens around the pointer shows the printer dots there, each as a whole number of
// device pixels (at least 4; a grid between the dots from 8 on), the dot under the pointer framed in
// the middle. It reads the view's page and mapping and changes nothing of them: not the zoom, not the
// scroll positions, not the page.
//
// The lens is a child of the view's viewport; it watches the viewport's mouse and the view's keys
// through event filters, so the view itself knows nothing of it.
class CLoupe : public QWidget {
    Q_OBJECT
public:
    explicit CLoupe(CChildView *view);
    ~CLoupe() override;

    // Shows the lens for the pointer at a point of the viewport (pixels), or moves it there.
    void ShowAt(const QPoint &pointer);
    void HideLens();

    // Device pixels per dot, whether the grid is drawn, the dots across the lens and the dot under
    // the pointer (page coordinates; may lie outside the page), as of the last placement.
    int GetMagnification() const { return m_nMagnification; }
    bool HasGrid() const { return m_bGrid; }
    int GetDotsAcross() const { return m_nDots; }
    QPoint GetCentreDot() const { return m_ptCentreDot; }
    // The device-pixel rectangle of the middle dot's cell inside the lens.
    QRect CentreCell() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Recomputes the lens from the view's state; repaints only when something shown changed.
    void Place();
    bool OnViewportEvent(QEvent *event);
    bool OnViewKey(QEvent *event);
    void EndSpace();

    CChildView *m_pView;
    QPoint m_ptPointer;
    bool m_bByButton = false;
    bool m_bBySpace = false;
    bool m_bTrackingBefore = false;
    int m_nMagnification = 0;
    bool m_bGrid = false;
    int m_nDots = 0;
    QPoint m_ptCentreDot;
    qint64 m_nImageKey = 0;
    QRect m_rcLens;
};
