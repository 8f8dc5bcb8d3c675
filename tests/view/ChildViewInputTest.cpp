// Scrolling the page view: the wheel with and without Shift and Ctrl, the scroll bars, and what the
// window shows after scrolls.
#include "ChildViewFixture.h"
#include "frame/MainFrame.h"

#include <QScreen>
#include <QScrollBar>

using namespace ChildViewTesting;

namespace {

TEST_F(ChildViewTest, WheelScrollsByLinesAndCtrlDoesNot)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(-1);
    ASSERT_EQ(view->GetScrollPosition(), QPoint(162, 23));
    bool accepted = false;
    Wheel(*view, QPoint(0, -120), Qt::NoModifier, &accepted);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(view->GetScrollPosition(), QPoint(162, 38));
    Wheel(*view, QPoint(0, 120), Qt::NoModifier);
    EXPECT_EQ(view->GetScrollPosition(), QPoint(162, 23));
    Wheel(*view, QPoint(0, -120), Qt::ShiftModifier);
    EXPECT_EQ(view->GetScrollPosition(), QPoint(195, 23));
    Wheel(*view, QPoint(-120, 0), Qt::NoModifier); // a tilt to the side
    EXPECT_EQ(view->GetScrollPosition(), QPoint(228, 23));
    Wheel(*view, QPoint(0, -120), Qt::ControlModifier, &accepted);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(view->GetScrollPosition(), QPoint(228, 23));
    // At the end of the range nothing moves and the wheel is left to the window.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    Wheel(*view, QPoint(0, -120), Qt::NoModifier, &accepted);
    EXPECT_FALSE(accepted);
}

// Over either bar the wheel follows the view's rules as over the page: down with both bars shown,
// across with Shift, and with Ctrl no scrolling at all.
TEST_F(ChildViewTest, WheelOverTheBarsTakesTheViewsRules)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(-1);
    ASSERT_EQ(view->GetScrollPosition(), QPoint(162, 23));
    const struct {
        Qt::KeyboardModifiers modifiers;
        QPoint moved;
    } cases[] = {{Qt::NoModifier, {0, 15}}, {Qt::ShiftModifier, {33, 0}}, {Qt::ControlModifier, {0, 0}}};
    for (QWidget *over : {static_cast<QWidget *>(view->horizontalScrollBar()),
                          static_cast<QWidget *>(view->verticalScrollBar())}) {
        ASSERT_TRUE(over->isVisible());
        for (const auto &c : cases) {
            const QPoint before = view->GetScrollPosition();
            Wheel(*view, QPoint(0, -120), c.modifiers, nullptr, over);
            EXPECT_EQ(view->GetScrollPosition() - before, c.moved)
                << over->metaObject()->className() << " " << c.modifiers.toInt();
        }
    }
}

TEST_F(ChildViewTest, WheelPageLimitAndScrollBarSteps)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(400);
    ASSERT_EQ(view->GetScrollPosition(), QPoint(338, 294));
    QApplication::setWheelScrollLines(20);
    Wheel(*view, QPoint(0, -120), Qt::NoModifier); // 20 lines of 10 px, at most one page of 108
    EXPECT_EQ(view->GetScrollPosition(), QPoint(338, 294 + 108));

    QScrollBar *bar = view->horizontalScrollBar();
    // The thumbs show the visible part against the whole: the bars' page steps are the client.
    EXPECT_EQ(bar->pageStep(), view->viewport()->width());
    EXPECT_EQ(view->verticalScrollBar()->pageStep(), view->viewport()->height());
    EXPECT_EQ(bar->maximum() + bar->pageStep(), 2236);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->GetScrollPosition().x(), 338 + 22);
    // A click in the trough moves by a tenth of the total.
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(view->GetScrollPosition().x(), 338 + 22 - 223);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view->GetScrollPosition().x(), 338 + 22);
    bar->setSliderPosition(5);
    EXPECT_EQ(view->GetScrollPosition().x(), 5);
    // The page follows the position: its left edge at 362.67 px into the area.
    QApplication::processEvents();
    EXPECT_EQ(NotGrey(Grab(*view)).left(), 363 - 5);
}

TEST_F(ChildViewTest, ScrolledPixelsMatchAFreshPaint)
{
    QImage page(1417, 340, QImage::Format_RGB32);
    for (int y = 0; y < 340; ++y)
        for (int x = 0; x < 1417; ++x)
            page.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
    WritePage(1, page);
    auto view = MakeView(400);
    Wheel(*view, QPoint(0, -120), Qt::NoModifier);
    Wheel(*view, QPoint(0, -120), Qt::ShiftModifier);
    QApplication::processEvents();
    // What the window holds after the scrolls (moved pixels and the strips painted for them) must be
    // what a paint of the whole client draws.
    const QPoint at = view->viewport()->mapTo(view->window(), QPoint(0, 0));
    const QSize size = view->viewport()->size();
    const QImage shown =
        view->screen()
            ->grabWindow(view->window()->winId(), at.x(), at.y(), size.width(), size.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), size);
    EXPECT_EQ(shown, Grab(*view));
}

// Ctrl with the wheel reaches the frame's zoom list through the view's parent frame: one notch
// forward moves one entry and the view takes the new zoom; the position does not scroll.
TEST_F(ChildViewTest, CtrlWheelStepsTheFrameZoom)
{
    WritePage(1, Black(1417, 340));
    CMainFrame frame;
    ASSERT_TRUE(frame.LoadFrame());
    CChildView *view = frame.GetActiveView();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(frame.m_nZoom, 100);
    const double before = view->m_dScale;
    Wheel(*view, QPoint(0, 60), Qt::ControlModifier);
    EXPECT_EQ(frame.m_nZoom, 100);
    Wheel(*view, QPoint(0, 120), Qt::ControlModifier);
    EXPECT_NE(frame.m_nZoom, 100);
    EXPECT_NE(view->m_dScale, before);
    if (frame.m_nZoom != -1) {
        EXPECT_EQ(view->m_dScale, frame.m_nZoom / 100.0);
    }
    Wheel(*view, QPoint(0, -120), Qt::ControlModifier);
    EXPECT_EQ(frame.m_nZoom, 100);
    EXPECT_EQ(view->m_dScale, 1.0);
}

// The view alone resized (no frame lays out again, as when the toolbar is floated off or docked):
// once the resize has been handled, the bars are those the total (1126, 547) needs in the new area,
// a bar also where the other one takes the room that was just enough.
TEST_F(ChildViewTest, ViewAloneResizedShowsTheBarsItsTotalNeeds)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(-1);
    const int b = view->verticalScrollBar()->sizeHint().width();
    const struct {
        QSize area;
        bool bHorz, bVert;
    } cases[] = {{{1200, 600}, false, false},   {{1000, 547 + b}, true, false},
                 {{1000, 546 + b}, true, true}, {{1126 + b, 540}, false, true},
                 {{1125 + b, 540}, true, true}, {{1126, 547}, false, false}};
    for (const auto &c : cases) {
        view->resize(c.area + QSize(2 * view->frameWidth(), 2 * view->frameWidth()));
        QApplication::processEvents();
        ASSERT_EQ(view->GetViewArea(), c.area);
        bool bHorz = false, bVert = false;
        view->CheckScrollBars(bHorz, bVert);
        EXPECT_EQ(bHorz, c.bHorz) << c.area.width() << " x " << c.area.height();
        EXPECT_EQ(bVert, c.bVert) << c.area.width() << " x " << c.area.height();
        EXPECT_EQ(view->horizontalScrollBar()->isVisible(), c.bHorz);
        EXPECT_EQ(view->verticalScrollBar()->isVisible(), c.bVert);
        EXPECT_EQ(view->viewport()->size(), view->GetClientSize());
        EXPECT_EQ(view->horizontalScrollBar()->maximum(), std::max(0, 1126 - view->GetClientSize().width()));
    }
}

} // namespace
