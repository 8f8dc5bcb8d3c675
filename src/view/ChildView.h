#pragma once
// The page view: one page bitmap at a zoom measured against the label's physical size.

#include "view/PageImage.h"
#include "view/PageReduction.h"

#include <QAbstractScrollArea>
#include <QBrush>
#include <QPoint>
#include <QSize>

class QPainter;
class QRegion;
class QScrollBar;

// The page view: one page bitmap at a magnification measured against the label's physical size
// (100 % = one inch of label on one inch of the screen as the screen reports it), centred in a grey
// margin, scrolled in pixels.
//
// Logical units are printer dots once the initial update has set m_nLogUnitsPerInch to the job's
// resolution. The scrolling follows a total size in pixels with a page step of a tenth of it and a
// line step of a tenth of that; scroll positions are reset by every zoom, page or size change.
class CChildView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CChildView(QWidget *parent = nullptr);
    ~CChildView() override;

    // nZoom: percent (25 .. 600), or -1 to fit the whole label into the window.
    void SetZoom(int nZoom);
    // Loads page nPage (1-based) and shows it at the frame's zoom; a page that fails to load leaves
    // the view empty and the tape length at 0 mm.
    void LoadPage(int nPage);
    // Gives the scrolling area its total size and puts both scroll positions back to the layout rule.
    // The zoom's fit and the layout read the client as it is when they start: the view's area less the
    // bars shown at that moment. The new total then decides the bars (a bar also shows when the other
    // bar takes the room that was just enough), and the paint works in the client they leave.
    void UpdateScrollLayout();
    // The scrolling area in logical units, for the client area as it is now (the bars shown taken off).
    QSize GetLabelExtent() const;
    void OnInitialUpdate();

    // The mapping of one paint: the scroll positions in pixels, pixels per inch horizontally and
    // vertically (trunc(dpi x scale)) against m_nLogUnitsPerInch logical units.
    struct DrawMapping {
        QPoint ptScroll;
        QSize sizeViewportExt;
        int nWindowExt = 0;
    };
    DrawMapping OnPrepareDC(const QPainter &painter) const;
    // Fills the part `exposed` (pixels of the client area) with the background, except where the
    // page will cover it.
    void OnEraseBkgnd(QPainter &painter, const DrawMapping &mapping, const QRegion &exposed);
    // Paints the page over the part `exposed` (pixels of the client area); nothing when no page is
    // loaded. Draws in the painter's device pixels.
    void OnDraw(QPainter &painter, const DrawMapping &mapping, const QRegion &exposed);
    // Ctrl steps the frame's zoom, Shift scrolls horizontally, otherwise the vertical bar if shown.
    // True when the view scrolled.
    bool OnMouseWheel(Qt::KeyboardModifiers nFlags, int zDelta);

    // The scrolling base: total size, page and line steps in pixels; the bars shown; the client size
    // without them; the positions; a clamped scroll that reports whether anything moved.
    void SetScrollSizes(const QSize &sizeTotal);
    void GetDeviceScrollSizes(QSize &sizeTotal, QSize &sizePage, QSize &sizeLine) const;
    void CheckScrollBars(bool &bHasHorzBar, bool &bHasVertBar) const;
    QSize GetClientSize() const;
    // The view's area inside its border, bars included: the client with no bar shown.
    QSize GetViewArea() const;
    // Hides both bars (the client is the whole area) until the next layout decides them: a new
    // window's first layout at its opening size starts from no bar, whatever the layouts while it was
    // still being made left.
    void HideScrollBars();
    QPoint GetScrollPosition() const;
    bool OnScrollBy(const QSize &sizeScroll);
    // The screen's dots per inch, Sx and Sy.
    int ScreenDpiX() const;
    int ScreenDpiY() const;

    int m_nLogUnitsPerInch = 254;
    CPageImage m_image;
    double m_dScale = 1.0;
    QPoint m_ptWindowOrg;
    // RGB(224, 224, 224) from the first initial update on.
    QBrush m_brBackground;
    // The viewport's background before the grey one, put back when the view goes.
    QBrush m_hPrevClassBrush;

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    // The wheel over the scroll bars takes the view's wheel rules too.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void OnSetupBackground();
    // The page's rectangle in the client area's device pixels, empty with no page; the window
    // origin of the mapping into *pOrigin.
    QRect PageInView(const DrawMapping &mapping, double dDevicePixelRatio, QPoint *pOrigin) const;
    void OnDestroy();
    // With bDecide, shows the bars that the total size needs in the view's area as it is now;
    // otherwise keeps the bars shown. Either way sets the bars' ranges for the client left.
    void UpdateBars(bool bDecide);
    // The scrolling area in logical units for a client area of `client` pixels.
    QSize GetLabelExtent(const QSize &client) const;
    // A click in a bar's trough (a page action, already applied by the bar with the visible length)
    // moves by the view's page step, a tenth of the total.
    void OnBarAction(QScrollBar *bar, int nAction);
    // Paints at once what a scroll of the content by (dx, dy) pixels uncovered.
    void RepaintExposed(int dx, int dy);

    QSize m_sizeTotal;
    QSize m_sizePage;
    QSize m_sizeLine;
    bool m_bHorzBar = false;
    bool m_bVertBar = false;
    bool m_bInLayout = false; // positions set by the layout, not scrolled by the user
    bool m_bInBars = false;
    bool m_bBarsPosted = false; // a decision of the bars for a new size is queued
    CPageReduction m_reduction;
};
