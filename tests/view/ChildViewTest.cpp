// The page view on the offscreen platform, with the worked job: 360 dots per inch, 24 mm tape, a page
// of 1417 x 340 dots, a client area of 800 x 500 pixels on a 96-dpi screen.
#include "ChildViewFixture.h"
#include "frame/MainFrame.h"

#include <QPainter>
#include <QScrollBar>

#include <cmath>

using namespace ChildViewTesting;

namespace {

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
    QSize total, page, line;
    view->GetDeviceScrollSizes(total, page, line);
    EXPECT_EQ(page, QSize(112, 54));
    EXPECT_EQ(line, QSize(11, 5));
    // The thumbs: the client against the total.
    EXPECT_EQ(view->horizontalScrollBar()->pageStep(), client.width());
    EXPECT_EQ(view->horizontalScrollBar()->singleStep(), 11);
    EXPECT_EQ(view->verticalScrollBar()->pageStep(), client.height());
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
    // The first layout of a view without bars.
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

    // Laid out again in the client the bars left, the area narrows with it: total (785, 559), and the
    // horizontal bar goes; centred on that client's height the position is 279.47 - 243 = 36. The
    // next layout reads the taller client: the centring position again, and the layouts settle.
    view->UpdateScrollLayout();
    QApplication::processEvents();
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(view->verticalScrollBar()->isVisible());
    EXPECT_EQ(view->viewport()->size(), QSize(client.width(), 500));
    EXPECT_EQ(view->GetScrollPosition(), QPoint(0, 36));
    for (int again = 0; again < 2; ++again) {
        view->UpdateScrollLayout();
        QApplication::processEvents();
        EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
        EXPECT_EQ(view->viewport()->size(), QSize(client.width(), 500));
        EXPECT_EQ(view->GetScrollPosition(), QPoint(0, 29));
    }
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

// At 25 % a 360-dpi page shrinks 15-fold on a 96-dpi screen, a 720-dpi page 30-fold; lines one dot
// wide stay visible, no lighter than mid-grey.
TEST_F(ChildViewTest, OneDotLinesShowAtLeastMidGreyAtAQuarter)
{
    for (const int nDpi : {360, 720}) {
        theApp.m_nDpi = nDpi;
        const int w = 1417 * nDpi / 360;
        const int h = 340 * nDpi / 360;
        QImage page(w, h, QImage::Format_Mono);
        page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                page.setPixel(x, y, x % 61 == 30 ? 1 : 0);
        WritePage(1, page);
        auto view = MakeView(25);
        const QImage shot = Grab(*view);
        const QRect box = NotGrey(shot);
        ASSERT_EQ(box.width(), 94) << nDpi;
        for (int line = 30; line < w; line += 61) {
            const int column = box.left() + (2 * line + 1) * 94 / (2 * w);
            for (int y = box.top(); y <= box.bottom(); ++y)
                EXPECT_LE(qGray(shot.pixel(column, y)), 128)
                    << nDpi << " dpi, line " << line << " at " << column;
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
