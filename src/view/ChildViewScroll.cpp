// The page view's scrolling: total size, bars, positions, scroll-bar input and the mouse wheel.
#include "view/ChildView.h"

#include "frame/MainFrame.h"
#include "view/ViewGeometry.h"

#include <QApplication>
#include <QRegion>
#include <QScrollBar>
#include <QWheelEvent>

using namespace ViewGeometry;

void CChildView::SetScrollSizes(const QSize &sizeTotal)
{
    m_sizeTotal = sizeTotal.expandedTo(QSize(0, 0));
    m_sizePage = QSize(m_sizeTotal.width() / 10, m_sizeTotal.height() / 10);
    m_sizeLine = QSize(m_sizePage.width() / 10, m_sizePage.height() / 10);
    UpdateBars(true);
}

void CChildView::GetDeviceScrollSizes(QSize &sizeTotal, QSize &sizePage, QSize &sizeLine) const
{
    sizeTotal = m_sizeTotal;
    sizePage = m_sizePage;
    sizeLine = m_sizeLine;
}

void CChildView::CheckScrollBars(bool &bHasHorzBar, bool &bHasVertBar) const
{
    bHasHorzBar = m_bHorzBar;
    bHasVertBar = m_bVertBar;
}

QSize CChildView::GetViewArea() const
{
    return contentsRect().marginsRemoved(viewportMargins()).size().expandedTo(QSize(0, 0));
}

void CChildView::HideScrollBars()
{
    m_bHorzBar = false;
    m_bVertBar = false;
    UpdateBars(false);
}

QSize CChildView::GetClientSize() const
{
    const QSize full = GetViewArea();
    const int w = full.width() - (m_bVertBar ? verticalScrollBar()->sizeHint().width() : 0);
    const int h = full.height() - (m_bHorzBar ? horizontalScrollBar()->sizeHint().height() : 0);
    return QSize(std::max(0, w), std::max(0, h));
}

QPoint CChildView::GetScrollPosition() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

// A bar's range is 0 .. total - client, which clamps every position to the range. The scroll area
// shows the bars the view decided, and lays out the viewport in the client they leave before this
// returns (when the view is visible; a hidden view takes that layout when it is shown).
void CChildView::UpdateBars(bool bDecide)
{
    if (m_bInBars)
        return;
    m_bInBars = true;
    const QSize full = GetViewArea();
    const int nVertBar = verticalScrollBar()->sizeHint().width();
    const int nHorzBar = horizontalScrollBar()->sizeHint().height();
    const ScrollBars bars =
        bDecide ? ComputeScrollBars(m_sizeTotal, full, nVertBar, nHorzBar)
                : ScrollBarRoom(m_sizeTotal, full, m_bHorzBar, m_bVertBar, nVertBar, nHorzBar);
    m_bHorzBar = bars.bHorz;
    m_bVertBar = bars.bVert;
    const bool wasInLayout = m_bInLayout;
    m_bInLayout = true;
    setHorizontalScrollBarPolicy(m_bHorzBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(m_bVertBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // Qt sizes the thumb by the bar's page step: the visible part against the whole. A click in the
    // trough moves by the view's own page step instead (OnBarAction).
    horizontalScrollBar()->setRange(0, bars.range.width());
    horizontalScrollBar()->setPageStep(bars.client.width());
    horizontalScrollBar()->setSingleStep(m_sizeLine.width());
    verticalScrollBar()->setRange(0, bars.range.height());
    verticalScrollBar()->setPageStep(bars.client.height());
    verticalScrollBar()->setSingleStep(m_sizeLine.height());
    m_bInLayout = wasInLayout;
    m_bInBars = false;
}

void CChildView::OnBarAction(QScrollBar *bar, int nAction)
{
    const int page = bar == horizontalScrollBar() ? m_sizePage.width() : m_sizePage.height();
    if (nAction == QAbstractSlider::SliderPageStepAdd)
        bar->setSliderPosition(bar->value() + page);
    else if (nAction == QAbstractSlider::SliderPageStepSub)
        bar->setSliderPosition(bar->value() - page);
}

// A new size keeps the bars shown for now: the frame's resize handler, which Qt calls after the
// view has its new size, lays out in the client as it then is, and its new total decides the bars.
// Once the resize has been handled, the bars are those the total needs in the new area, also when
// nothing laid out again (a toolbar floated off or docked changes only the view's size).
void CChildView::resizeEvent(QResizeEvent *)
{
    UpdateBars(false);
    if (m_bBarsPosted)
        return;
    m_bBarsPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_bBarsPosted = false;
            UpdateBars(true);
        },
        Qt::QueuedConnection);
}

bool CChildView::OnScrollBy(const QSize &sizeScroll)
{
    const QPoint before = GetScrollPosition();
    horizontalScrollBar()->setValue(before.x() + sizeScroll.width());
    verticalScrollBar()->setValue(before.y() + sizeScroll.height());
    return GetScrollPosition() != before;
}

void CChildView::scrollContentsBy(int dx, int dy)
{
    if (m_bInLayout)
        viewport()->update();
    else
        viewport()->scroll(dx, dy);
}

void CChildView::RepaintExposed(int dx, int dy)
{
    const QRect area = viewport()->rect();
    const QRegion exposed = QRegion(area).subtracted(QRegion(area.translated(dx, dy)));
    if (!exposed.isEmpty())
        viewport()->repaint(exposed);
}

bool CChildView::OnMouseWheel(Qt::KeyboardModifiers nFlags, int zDelta)
{
    bool bHorz = false;
    bool bVert = false;
    CheckScrollBars(bHorz, bVert);
    const WheelAction action =
        ComputeWheel(nFlags.testFlag(Qt::ControlModifier), nFlags.testFlag(Qt::ShiftModifier), zDelta, bHorz,
                     bVert, QApplication::wheelScrollLines(), m_sizeLine, m_sizePage);
    if (action.bZoom) {
        if (auto *frame = qobject_cast<CMainFrame *>(window()))
            frame->StepZoom(action.nZoomSteps);
        return false;
    }
    if (!action.bScroll)
        return false;
    const QPoint before = GetScrollPosition();
    const bool moved = OnScrollBy(QSize(action.nDx, action.nDy));
    if (moved) {
        const QPoint after = GetScrollPosition();
        RepaintExposed(before.x() - after.x(), before.y() - after.y());
    }
    return moved;
}

// The wheel's notches come as angleDelta (120 per notch); pixelDelta, which touchpads add, is not
// used. A tilt to the side (a horizontal delta only) scrolls horizontally like Shift with the wheel.
void CChildView::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    bool scrolled;
    if (angle.y() == 0 && angle.x() != 0)
        scrolled = OnMouseWheel((event->modifiers() & ~Qt::ControlModifier) | Qt::ShiftModifier, angle.x());
    else
        scrolled = OnMouseWheel(event->modifiers(), angle.y());
    event->setAccepted(scrolled);
}

// A bar would scroll itself by its own rules (Ctrl a page at a time); the view's rules decide instead,
// and the bar never sees the wheel.
bool CChildView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel &&
        (watched == horizontalScrollBar() || watched == verticalScrollBar())) {
        wheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}
