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

TEST_F(ChildViewTest, WheelPageLimitAndScrollBarSteps)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(400);
    ASSERT_EQ(view->GetScrollPosition(), QPoint(338, 294));
    QApplication::setWheelScrollLines(20);
    Wheel(*view, QPoint(0, -120), Qt::NoModifier); // 20 lines of 10 px, at most one page of 108
    EXPECT_EQ(view->GetScrollPosition(), QPoint(338, 294 + 108));

    QScrollBar *bar = view->horizontalScrollBar();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view->GetScrollPosition().x(), 338 + 22);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(view->GetScrollPosition().x(), 338 + 22 - 223);
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

} // namespace
