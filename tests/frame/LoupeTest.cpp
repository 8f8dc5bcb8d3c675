// The loupe on the real window with real mouse and key input. At 96 dots per inch on the 96-dpi
// offscreen screen and 100 % one dot is one pixel, so the view's own picture is the oracle for the
// dots around the pointer.
#include "FrameFixture.h"

#include "view/Loupe.h"

#include <QCursor>
#include <QScrollBar>

namespace {

const QRgb kGrey = qRgb(224, 224, 224);

class LoupeTest : public FrameTest {
protected:
    void AdjustJob(SampleJob &job) override { job.dpi = 96; }

    CLoupe *Loupe() const { return View()->findChild<CLoupe *>(); }
    QWidget *Viewport() const { return View()->viewport(); }

    // The page's rectangle in the viewport's picture: everything that is not the grey margin.
    static QRect PageIn(const QImage &picture)
    {
        QRect box;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if ((picture.pixel(x, y) & 0xFFFFFF) != (kGrey & 0xFFFFFF))
                    box |= QRect(x, y, 1, 1);
        return box;
    }

    struct Untouched {
        int nZoom;
        double dScale;
        QPoint scroll;
        int nPage;
        int nTapeLengthMm;
    };
    Untouched Snapshot() const
    {
        return {m_frame->m_nZoom, View()->m_dScale, View()->GetScrollPosition(), m_frame->m_nCurPage,
                theApp.m_nTapeLengthMm};
    }
    void ExpectUntouched(const Untouched &before) const
    {
        const Untouched now = Snapshot();
        EXPECT_EQ(now.nZoom, before.nZoom);
        EXPECT_DOUBLE_EQ(now.dScale, before.dScale);
        EXPECT_EQ(now.scroll, before.scroll);
        EXPECT_EQ(now.nPage, before.nPage);
        EXPECT_EQ(now.nTapeLengthMm, before.nTapeLengthMm);
    }

    // Every cell of the lens shows the colour the view shows for that dot at 1:1.
    void ExpectCellsMatch(const QImage &view, const QPoint &pointer)
    {
        CLoupe *loupe = Loupe();
        const QImage lens = loupe->grab().toImage();
        const int mag = loupe->GetMagnification();
        const int half = loupe->GetDotsAcross() / 2;
        int compared = 0;
        for (int j = 0; j < loupe->GetDotsAcross(); ++j) {
            for (int i = 0; i < loupe->GetDotsAcross(); ++i) {
                const QPoint at = pointer + QPoint(i - half, j - half);
                if (!view.rect().contains(at))
                    continue;
                const QRgb expected = view.pixel(at) & 0xFFFFFF;
                const QRgb shown = lens.pixel(i * mag + mag / 2, j * mag + mag / 2) & 0xFFFFFF;
                ASSERT_EQ(shown, expected) << "cell " << i << "," << j;
                ++compared;
            }
        }
        EXPECT_GT(compared, 100);
    }
};

TEST_F(LoupeTest, MiddleButtonShowsTheDotsUnderThePointer)
{
    RunIdle(50);
    const QImage view = Viewport()->grab().toImage();
    const QRect page = PageIn(view);
    ASSERT_EQ(page.size(), QSize(View()->m_image.GetWidth(), View()->m_image.GetHeight()));
    // A point on the row of bars, where black and white dots alternate.
    const QPoint pointer = page.topLeft() + QPoint(40, page.height() - 12);
    const Untouched before = Snapshot();

    ASSERT_FALSE(Loupe()->isVisible());
    QTest::mousePress(Viewport(), Qt::MiddleButton, {}, pointer);
    RunIdle();
    ASSERT_TRUE(Loupe()->isVisible());
    EXPECT_EQ(Loupe()->GetCentreDot(), pointer - page.topLeft());
    EXPECT_GE(Loupe()->GetMagnification(), 4);
    EXPECT_EQ(Loupe()->HasGrid(), Loupe()->GetMagnification() >= 8);
    EXPECT_EQ(Loupe()->GetDotsAcross() % 2, 1);
    ExpectCellsMatch(view, pointer);
    EXPECT_TRUE(View()->m_image.Image().pixel(Loupe()->GetCentreDot()) == view.pixel(pointer));

    // The lens follows the pointer.
    const QPoint moved = pointer + QPoint(25, -7);
    QTest::mouseMove(Viewport(), moved);
    RunIdle();
    EXPECT_EQ(Loupe()->GetCentreDot(), moved - page.topLeft());
    ExpectCellsMatch(view, moved);

    QTest::mouseRelease(Viewport(), Qt::MiddleButton, {}, moved);
    RunIdle();
    EXPECT_FALSE(Loupe()->isVisible());
    ExpectUntouched(before);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LoupeTest, GridBetweenTheDotsFromEightPixelsOn)
{
    const QPoint pointer(Viewport()->width() / 2, Viewport()->height() / 2);
    QTest::mousePress(Viewport(), Qt::MiddleButton, {}, pointer);
    RunIdle();
    ASSERT_TRUE(Loupe()->isVisible());
    const int mag = Loupe()->GetMagnification();
    ASSERT_GE(mag, 8);
    ASSERT_TRUE(Loupe()->HasGrid());
    const QImage lens = Loupe()->grab().toImage();
    // Between two cells of the same colour the grid line differs from both.
    const int row = (Loupe()->GetDotsAcross() / 2 - 2) * mag + mag / 2;
    const int x = 2 * mag;
    EXPECT_NE(lens.pixel(x, row), lens.pixel(x - mag / 2, row));
    EXPECT_NE(lens.pixel(x, row), lens.pixel(x + mag / 2, row));
    QTest::mouseRelease(Viewport(), Qt::MiddleButton, {}, pointer);
}

// A small window gives a smaller lens, fewer pixels per dot and no grid below 8.
TEST_F(LoupeTest, SmallWindowLimitsTheLens)
{
    m_frame->resize(420, 220);
    RunIdle(30);
    const QSize room = Viewport()->size();
    ASSERT_LT(std::min(room.width(), room.height()), 8 * 21);
    const QPoint pointer(room.width() / 2, room.height() / 2);
    QTest::mousePress(Viewport(), Qt::MiddleButton, {}, pointer);
    RunIdle();
    ASSERT_TRUE(Loupe()->isVisible());
    EXPECT_TRUE(Viewport()->rect().contains(Loupe()->geometry()));
    EXPECT_GE(Loupe()->GetMagnification(), 4);
    EXPECT_LT(Loupe()->GetMagnification(), 8);
    EXPECT_FALSE(Loupe()->HasGrid());
    QTest::mouseRelease(Viewport(), Qt::MiddleButton, {}, pointer);
    RunIdle();
    EXPECT_FALSE(Loupe()->isVisible());
}

TEST_F(LoupeTest, ShiftSpaceHeldShowsTheLensAtThePointer)
{
    RunIdle(50);
    const QImage view = Viewport()->grab().toImage();
    const QRect page = PageIn(view);
    const QPoint pointer = page.topLeft() + QPoint(60, 30);
    LeaveToView();
    QCursor::setPos(Viewport()->mapToGlobal(pointer));
    const Untouched before = Snapshot();
    QTest::keyPress(View(), Qt::Key_Space, Qt::ShiftModifier);
    RunIdle();
    ASSERT_TRUE(Loupe()->isVisible());
    EXPECT_EQ(Loupe()->GetCentreDot(), pointer - page.topLeft());
    ExpectCellsMatch(view, pointer);
    QTest::keyRelease(View(), Qt::Key_Space, Qt::ShiftModifier);
    RunIdle();
    EXPECT_FALSE(Loupe()->isVisible());
    ExpectUntouched(before);
}

// A scroll under the held lens (the arrow keys) keeps the lens where it was and shows the dots now
// under the pointer; the scroll is the user's, not the lens's.
TEST_F(LoupeTest, TheLensFollowsAScrollUnderIt)
{
    LeaveToView();
    Confirm(ZoomBox(), QStringLiteral("400"));
    LeaveToView();
    const QPoint pointer(Viewport()->width() / 2, Viewport()->height() / 2);
    QTest::mousePress(Viewport(), Qt::MiddleButton, {}, pointer);
    RunIdle();
    ASSERT_TRUE(Loupe()->isVisible());
    const QRect lens = Loupe()->geometry();
    const QPoint dot = Loupe()->GetCentreDot();
    const int y0 = View()->GetScrollPosition().y();
    QTest::keyClick(View(), Qt::Key_Down);
    RunIdle(20);
    const int scrolled = View()->GetScrollPosition().y() - y0;
    ASSERT_GT(scrolled, 0);
    EXPECT_EQ(Loupe()->geometry(), lens);
    // 400 % of 96 dpi on a 96-dpi screen: 4 pixels per dot.
    EXPECT_EQ(Loupe()->GetCentreDot(), dot + QPoint(0, scrolled / 4));
    QTest::mouseRelease(Viewport(), Qt::MiddleButton, {}, pointer);
    RunIdle();
    EXPECT_FALSE(Loupe()->isVisible());
    EXPECT_EQ(m_frame->m_nZoom, 400);
}

// At the sample's 360 dpi one pixel of the view covers several dots; the lens still shows single
// dots of the page, one per cell, at the whole-label zoom as at 100 %.
class LoupeAt360Test : public FrameTest {};

TEST_F(LoupeAt360Test, EveryCellIsOneDotOfThePage)
{
    for (const char16_t *zoom : {u"100", u"ﾗﾍﾞﾙ全体を表示"}) {
        Confirm(ZoomBox(), QString::fromUtf16(zoom));
        QWidget *viewport = View()->viewport();
        auto *loupe = View()->findChild<CLoupe *>();
        const QPoint pointer(viewport->width() / 2, viewport->height() / 2);
        const int nZoom = m_frame->m_nZoom;
        const QPoint scroll = View()->GetScrollPosition();
        QTest::mousePress(viewport, Qt::MiddleButton, {}, pointer);
        RunIdle();
        ASSERT_TRUE(loupe->isVisible());
        const QImage lens = loupe->grab().toImage();
        const QImage &page = View()->m_image.Image();
        const int mag = loupe->GetMagnification();
        const int half = loupe->GetDotsAcross() / 2;
        const QPoint centre = loupe->GetCentreDot();
        ASSERT_TRUE(page.valid(centre));
        for (int j = 0; j < loupe->GetDotsAcross(); ++j) {
            for (int i = 0; i < loupe->GetDotsAcross(); ++i) {
                const QPoint dot = centre + QPoint(i - half, j - half);
                const QRgb expected = page.valid(dot) ? page.pixel(dot) & 0xFFFFFF : kGrey & 0xFFFFFF;
                ASSERT_EQ(lens.pixel(i * mag + mag / 2, j * mag + mag / 2) & 0xFFFFFF, expected)
                    << i << "," << j;
            }
        }
        QTest::mouseRelease(viewport, Qt::MiddleButton, {}, pointer);
        RunIdle();
        EXPECT_EQ(m_frame->m_nZoom, nZoom);
        EXPECT_EQ(View()->GetScrollPosition(), scroll);
    }
}

} // namespace
