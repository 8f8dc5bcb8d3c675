// The page view on the offscreen platform, with the worked job: 360 dots per inch, 24 mm tape, a page
// of 1417 x 340 dots, a client area of 800 x 500 pixels on a 96-dpi screen.
#include "view/ChildView.h"
#include "app/CorvaneApp.h"
#include "frame/MainFrame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <memory>

namespace {

const QRgb kGrey = qRgb(224, 224, 224);

// The smallest rectangle holding every pixel that is not the background grey.
QRect NotGrey(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (kGrey & 0xFFFFFF))
                box |= QRect(x, y, 1, 1);
    return box;
}

class ChildViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        theApp.m_nDpi = 360;
        theApp.m_nTapeWidthMm = 24;
        theApp.m_nTapeLengthMm = 100;
        theApp.m_nOrientation = 2;
        theApp.m_strPageFileFormat = m_dir.path() + QStringLiteral("/p_%05d.bmp");
        QApplication::setWheelScrollLines(3);
    }

    void WritePage(int nPage, const QImage &image)
    {
        ASSERT_TRUE(image.save(m_dir.path() + QStringLiteral("/p_%1.bmp").arg(nPage, 5, 10, QLatin1Char('0')),
                               "BMP"));
    }

    static QImage Black(int w, int h)
    {
        QImage page(w, h, QImage::Format_RGB32);
        page.fill(qRgb(0, 0, 0));
        return page;
    }

    // A view whose client area is 800 x 500 without bars, after its initial update, showing page 1.
    std::unique_ptr<CChildView> MakeView(int nZoom)
    {
        auto view = std::make_unique<CChildView>();
        const int f = 2 * view->frameWidth();
        view->resize(800 + f, 500 + f);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->OnInitialUpdate();
        view->LoadPage(1);
        view->SetZoom(nZoom);
        QApplication::processEvents();
        return view;
    }

    static QImage Grab(CChildView &view)
    {
        return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    static void Wheel(CChildView &view, QPoint angle, Qt::KeyboardModifiers modifiers,
                      bool *accepted = nullptr)
    {
        const QPointF at(100, 100);
        QWheelEvent event(at, view.viewport()->mapToGlobal(at), QPoint(0, -7), angle, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &event);
        if (accepted)
            *accepted = event.isAccepted();
    }

    QTemporaryDir m_dir;
};

TEST_F(ChildViewTest, HundredPercentFitsWithoutBarsAndCentresTheLabel)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(100);
    EXPECT_EQ(view->m_nLogUnitsPerInch, 360);
    EXPECT_EQ(theApp.m_nTapeLengthMm, 100);
    EXPECT_EQ(view->m_dScale, 1.0);
    EXPECT_EQ(view->viewport()->size(), QSize(800, 500));
    QSize total, page, line;
    view->GetDeviceScrollSizes(total, page, line);
    EXPECT_EQ(total, QSize(800, 500));
    EXPECT_EQ(page, QSize(80, 50));
    EXPECT_EQ(line, QSize(8, 5));
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(view->verticalScrollBar()->isVisible());
    EXPECT_EQ(view->GetScrollPosition(), QPoint(0, 0));

    const QImage shot = Grab(*view);
    EXPECT_EQ(NotGrey(shot), QRect(QPoint(211, 205), QPoint(588, 294)));
    EXPECT_EQ(shot.pixel(5, 5), kGrey);
    EXPECT_EQ(shot.pixel(400, 250), qRgb(0, 0, 0));
    EXPECT_EQ(view->m_ptWindowOrg, QPoint(-791, -937));
}

TEST_F(ChildViewTest, WholeLabelShowsBothBarsAndFillsNinetyFivePercent)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(100);
    view->SetZoom(-1);
    QApplication::processEvents();
    EXPECT_EQ(view->m_dScale, 2.0139999747276307);
    EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(view->verticalScrollBar()->isVisible());
    const QSize client = view->viewport()->size();
    EXPECT_EQ(client, view->GetClientSize());
    EXPECT_LT(client.width(), 800);
    EXPECT_LT(client.height(), 500);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 1126 - client.width());
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 547 - client.height());
    EXPECT_EQ(view->horizontalScrollBar()->pageStep(), 112);
    EXPECT_EQ(view->horizontalScrollBar()->singleStep(), 11);
    EXPECT_EQ(view->verticalScrollBar()->pageStep(), 54);
    EXPECT_EQ(view->verticalScrollBar()->singleStep(), 5);
    EXPECT_EQ(view->GetScrollPosition(), QPoint(162, 23));

    // (340 + 0) x 193 / 360 = 182.3 and 1757 x 193 / 360 = 941.9, less the position 162.
    const QRect box = NotGrey(Grab(*view));
    EXPECT_EQ(box.left(), 20);
    EXPECT_EQ(box.right(), 779);
}

TEST_F(ChildViewTest, FourHundredPercentShowsTheLeftEdgeInside)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(100);
    view->SetZoom(400);
    QApplication::processEvents();
    EXPECT_EQ(view->m_dScale, 4.0);
    const QSize client = view->viewport()->size();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 2236 - client.width());
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 1088 - client.height());
    EXPECT_EQ(view->GetScrollPosition(), QPoint(338, 294));
    // The left edge at 340 x 384 / 360 = 362.67 pixels into the area, 24.67 into the client.
    EXPECT_EQ(NotGrey(Grab(*view)).left(), 25);
}

TEST_F(ChildViewTest, TapeDownTheScreen)
{
    theApp.m_nOrientation = 1;
    WritePage(1, Black(340, 1417));
    // The first layout of a view without bars (every later one reads the client the bars left).
    auto view = std::make_unique<CChildView>();
    view->resize(800 + 2 * view->frameWidth(), 500 + 2 * view->frameWidth());
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    theApp.m_nTapeLengthMm = 0; // no page yet: the initial layout fits the client
    view->OnInitialUpdate();
    view->LoadPage(1);
    QApplication::processEvents();
    EXPECT_EQ(theApp.m_nTapeLengthMm, 100);
    // Total (800, 559): the vertical bar, which takes the width that was just enough, so both.
    EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(view->verticalScrollBar()->isVisible());
    const QSize client = view->viewport()->size();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 800 - client.width());
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 559 - client.height());
    EXPECT_EQ(view->GetScrollPosition(), QPoint(0, 29));
    // The paint reads the client as it is then: the area's width is that client's, the page
    // centred on it; the page's top is m = 340 units (90.67 px) down, less the position 29.
    const int ex = std::max(1020, static_cast<int>(360.0 * client.width() / 96));
    const int left = static_cast<int>(std::floor((ex / 2 - 170) * 96.0 / 360 + 0.5));
    const QRect box = NotGrey(Grab(*view));
    EXPECT_EQ(box.left(), left);
    EXPECT_EQ(box.width(), static_cast<int>(std::floor((ex / 2 + 170) * 96.0 / 360 + 0.5)) - left);
    EXPECT_EQ(box.top(), 91 - 29);

    // Laid out again in the narrower client, the area narrows with it and the horizontal bar goes;
    // the layouts settle: in the client that leaves, the position is the centring one again.
    view->UpdateScrollLayout();
    QApplication::processEvents();
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
    EXPECT_EQ(view->viewport()->height(), 500);
    view->UpdateScrollLayout();
    QApplication::processEvents();
    EXPECT_EQ(view->GetScrollPosition(), QPoint(0, 29));
    const QSize settled = view->viewport()->size();
    view->UpdateScrollLayout();
    QApplication::processEvents();
    EXPECT_EQ(view->GetScrollPosition(), QPoint(0, 29));
    EXPECT_EQ(view->viewport()->size(), settled);
}

TEST_F(ChildViewTest, MissingPageLeavesOnlyGrey)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(100);
    view->LoadPage(2);
    EXPECT_TRUE(view->m_image.IsNull());
    EXPECT_EQ(theApp.m_nTapeLengthMm, 0);
    view->SetZoom(-1);
    // No page: the fit works on 100 x 100 units and clamps to 600 %.
    EXPECT_EQ(view->m_dScale, 6.0);
    QApplication::processEvents();
    EXPECT_TRUE(NotGrey(Grab(*view)).isNull());
    view->LoadPage(1);
    EXPECT_EQ(theApp.m_nTapeLengthMm, 100);
    EXPECT_FALSE(NotGrey(Grab(*view)).isNull());
}

TEST_F(ChildViewTest, NullClientClampsTheFitTo25)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(100);
    view->resize(2 * view->frameWidth(), 2 * view->frameWidth());
    QApplication::processEvents();
    EXPECT_EQ(view->GetClientSize(), QSize(0, 0));
    view->SetZoom(-1);
    // The floor of the fit is the line step of the last layout, (8, 5): still far below 25 %.
    EXPECT_EQ(view->m_dScale, 0.25);
    view->resize(800 + 2 * view->frameWidth(), 500 + 2 * view->frameWidth());
    QApplication::processEvents();
    view->SetZoom(-1);
    EXPECT_EQ(view->m_dScale, 2.0139999747276307);
}

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

// On a screen with two device pixels per pixel the page is resampled for the device pixels.
TEST_F(ChildViewTest, DrawsInDevicePixels)
{
    QImage page(1417, 340, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < 340; ++y)
        for (int x = 0; x < 1417; ++x)
            page.setPixel(x, y, (x % 4) < 2 ? 1 : 0);
    WritePage(1, page);
    auto view = MakeView(100);
    for (const int dpr : {1, 2}) {
        QImage target(800 * dpr, 500 * dpr, QImage::Format_RGB32);
        target.setDevicePixelRatio(dpr);
        target.fill(kGrey);
        {
            QPainter painter(&target);
            view->OnDraw(painter, view->OnPrepareDC(painter), QRegion(0, 0, 800, 500));
        }
        const QRect box = NotGrey(target);
        EXPECT_EQ(box, dpr == 1 ? QRect(QPoint(211, 205), QPoint(588, 294))
                                : QRect(QPoint(422, 409), QPoint(1177, 589)));
        int darkest = 255;
        int lightest = 0;
        for (int x = box.left(); x <= box.right(); ++x) {
            darkest = std::min(darkest, qGray(target.pixel(x, box.center().y())));
            lightest = std::max(lightest, qGray(target.pixel(x, box.center().y())));
        }
        // 3.75 dots per pixel always mix the 2-dot stripes; 1.9 dots per device pixel resolve them.
        if (dpr == 1) {
            EXPECT_GT(darkest, 40);
            EXPECT_LT(lightest, 215);
        } else {
            EXPECT_LT(darkest, 5);
            EXPECT_GT(lightest, 250);
        }
    }
}

// At 25 % a 360-dpi page shrinks 15-fold on a 96-dpi screen; lines one dot wide must stay visible.
TEST_F(ChildViewTest, OneDotLinesShowAsGreyAtAQuarter)
{
    QImage page(1417, 340, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < 340; ++y)
        for (int x = 0; x < 1417; ++x)
            page.setPixel(x, y, x % 16 == 0 ? 1 : 0);
    WritePage(1, page);
    auto view = MakeView(25);
    const QImage shot = Grab(*view);
    const QRect box = NotGrey(shot);
    ASSERT_EQ(box.width(), 94);
    for (int line = 0; line < 1417; line += 16) {
        const int column = box.left() + (2 * line + 1) * 94 / (2 * 1417);
        for (int y = box.top(); y <= box.bottom(); ++y) {
            const int grey = qGray(shot.pixel(column, y));
            EXPECT_LT(grey, 250) << "line " << line << " at " << column << "," << y;
            EXPECT_NE(shot.pixel(column, y), kGrey);
        }
    }
}

// The erase leaves the page's pixels to the page; between them they paint every device pixel, also
// where pixels and device pixels do not align.
TEST_F(ChildViewTest, EraseAndPageCoverTheClient)
{
    WritePage(1, Black(1417, 340));
    auto view = MakeView(-1);
    const QRgb sentinel = qRgb(255, 0, 255);
    for (const double dpr : {1.0, 1.25, 1.5, 2.0}) {
        QImage target(static_cast<int>(std::ceil(800 * dpr)), static_cast<int>(std::ceil(500 * dpr)),
                      QImage::Format_RGB32);
        target.setDevicePixelRatio(dpr);
        target.fill(sentinel);
        {
            QPainter painter(&target);
            const CChildView::DrawMapping mapping = view->OnPrepareDC(painter);
            view->OnEraseBkgnd(painter, mapping, QRegion(0, 0, 800, 500));
            view->OnDraw(painter, mapping, QRegion(0, 0, 800, 500));
        }
        int left = 0;
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x)
                left += target.pixel(x, y) == sentinel;
        EXPECT_EQ(left, 0) << "device pixel ratio " << dpr;
        EXPECT_EQ(target.pixel(0, 0), kGrey);
    }
}

TEST_F(ChildViewTest, InitialUpdateInTheFrameLoadsTheFramePageAtItsZoom)
{
    WritePage(1, Black(1417, 340));
    WritePage(3, Black(708, 340));
    CMainFrame frame;
    frame.m_nCurPage = 3;
    frame.m_nZoom = 100;
    auto *view = new CChildView(&frame);
    frame.setCentralWidget(view);
    frame.resize(900, 600);
    view->OnInitialUpdate();
    EXPECT_EQ(view->m_nLogUnitsPerInch, 360);
    EXPECT_EQ(view->m_image.GetWidth(), 708);
    EXPECT_EQ(theApp.m_nTapeLengthMm, 50);
    EXPECT_EQ(view->m_dScale, 1.0);
    EXPECT_EQ(view->m_brBackground.color(), QColor(224, 224, 224));
    frame.m_nZoom = 250;
    view->LoadPage(1);
    EXPECT_EQ(view->m_dScale, 2.5);
    EXPECT_EQ(theApp.m_nTapeLengthMm, 100);
}

} // namespace
