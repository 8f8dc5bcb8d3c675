// The page view in the preview window as it opens, after choices from the zoom list and after
// resizes, with scroll bars of the style's thickness and of thicknesses a style sheet sets. Every
// operation reads the client as it is when it starts (the view's area less the bars shown then), the
// new total decides the bars (a bar also shows when the other bar takes the room that was just
// enough), and the paint works in the client left. The first layout at the opening size starts, as in
// a new window, with no bar shown. The expected values come from that rule, worked
// out below on its own; for 14-pixel bars the table also holds figures worked out by hand.
#include "ChildViewFixture.h"
#include "frame/MainFrame.h"

#include <QComboBox>
#include <QLayout>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

using namespace ChildViewTesting;

namespace {

// The scale, the bars, and the page's edges in client pixels, unrounded.
struct Shown {
    double dScale = 0;
    bool bHorz = false, bVert = false;
    double left = 0, right = 0, top = 0, bottom = 0;
    QSize client;
};

// The rule for the fixture's job: 360 dots per inch (one logical unit per dot), a 24 mm tape of 340
// dots and a label of 100 mm, 1417 dots, with the page as large as the label; a 96-dpi screen.
class LayoutRule {
public:
    LayoutRule(int nOrientation, int nBar, QSize line)
        : m_label(nOrientation == 1 ? QSize(340, 1417) : QSize(1417, 340)), m_nOrientation(nOrientation),
          m_nBar(nBar), m_line(line)
    {
    }

    // The window shown at its opening size: no bar shows yet, whatever the layouts while it was being
    // made decided.
    void Open(QSize full, int nZoom)
    {
        m_bHorz = m_bVert = false;
        Resize(full, nZoom);
    }

    // The frame's resize notification: the view's area is new, the bars shown are still the old ones.
    void Resize(QSize full, int nZoom)
    {
        m_full = full;
        Zoom(nZoom);
    }

    void Zoom(int nZoom)
    {
        const QSize c = Client();
        double v = nZoom;
        if (nZoom == -1) {
            const int zx = MulDiv(MulDiv(std::max(c.width(), m_line.width()), 360, 96), 100, m_label.width());
            const int zy =
                MulDiv(MulDiv(std::max(c.height(), m_line.height()), 360, 96), 100, m_label.height());
            v = std::min(zx, zy) * static_cast<double>(0.95f);
        }
        v = v <= 25 ? 25 : v >= 600 ? 600 : v;
        m_dScale = v / 100;
        // The layout, in the same client.
        const double k = 360 / m_dScale;
        const QSize e = Extent(c);
        const QSize total(static_cast<int>(e.width() * 96.0 / k), static_cast<int>(e.height() * 96.0 / k));
        m_line = total / 100;
        double px = 96.0 * (e.width() / 2) / k - c.width() / 2;
        double py = 96.0 * (e.height() / 2) / k - c.height() / 2;
        const double lx = (0.5 * e.width() - 0.5 * m_label.width()) * 96 / k;
        const double ly = (0.5 * e.height() - 0.5 * m_label.height()) * 96 / k;
        if (px > lx)
            px = std::max(0.0, lx - 24);
        if (py > ly)
            py = std::max(0.0, ly - 24);
        m_bHorz = total.width() > m_full.width();
        m_bVert = total.height() > m_full.height();
        if (m_bVert && !m_bHorz)
            m_bHorz = total.width() > m_full.width() - m_nBar;
        if (m_bHorz && !m_bVert)
            m_bVert = total.height() > m_full.height() - m_nBar;
        const QSize range = (total - Client()).expandedTo(QSize(0, 0));
        m_pos = QPoint(std::clamp(static_cast<int>(px), 0, range.width()),
                       std::clamp(static_cast<int>(py), 0, range.height()));
    }

    // The paint: the page centred in the scrolling area of the client left (the margins make the
    // area larger than the page on both axes).
    Shown Now() const
    {
        Shown r{m_dScale, m_bHorz, m_bVert, 0, 0, 0, 0, Client()};
        const QSize e = Extent(r.client);
        const int x0 =
            m_nOrientation == 1 ? e.width() / 2 - m_label.width() / 2 : (e.width() - m_label.width()) / 2;
        const int y0 =
            m_nOrientation == 1 ? (e.height() - m_label.height()) / 2 : e.height() / 2 - m_label.height() / 2;
        const int perInch = static_cast<int>(96 * m_dScale);
        r.left = x0 * perInch / 360.0 - m_pos.x();
        r.right = (x0 + m_label.width()) * perInch / 360.0 - m_pos.x();
        r.top = y0 * perInch / 360.0 - m_pos.y();
        r.bottom = (y0 + m_label.height()) * perInch / 360.0 - m_pos.y();
        return r;
    }

private:
    // Positive operands only: rounded to the nearest, halves up.
    static int MulDiv(int a, int b, int d) { return static_cast<int>((2LL * a * b + d) / (2LL * d)); }

    QSize Client() const
    {
        return (m_full - QSize(m_bVert ? m_nBar : 0, m_bHorz ? m_nBar : 0)).expandedTo(QSize(0, 0));
    }

    // The label with a margin of 340 on every side, at least the client in logical units.
    QSize Extent(QSize client) const
    {
        const double k = 360 / m_dScale;
        return QSize(std::max(m_label.width() + 680, static_cast<int>(k * client.width() / 96)),
                     std::max(m_label.height() + 680, static_cast<int>(k * client.height() / 96)));
    }

    QSize m_label;
    int m_nOrientation;
    int m_nBar;
    bool m_bHorz = false, m_bVert = false;
    QSize m_line;
    QSize m_full;
    double m_dScale = 1.0;
    QPoint m_pos;
};

// A choice from the zoom list, or (nZoom 0) the window resized for a view area of resizeTo.
struct Step {
    int nZoom;
    QSize resizeTo;
};

// Worked out by hand for 14-pixel bars, after step nStep (-1: as the window opened): the scale to four
// places, the edges to a tenth of a pixel, NAN where not worked out.
struct ByHand {
    int nStep;
    double dScale;
    bool bHorz, bVert;
    double left, right, top, bottom;
};

struct LayoutCase {
    const char *name;
    int nOrientation;
    int nOpenZoom;
    QSize openFull; // the view's area without bars as the window opens
    std::vector<Step> steps;
    std::vector<ByHand> byHand;
};

void PrintTo(const LayoutCase &c, std::ostream *os)
{
    *os << c.name;
}

// The frame's resize notifications, each with the view's area as the frame's handler sees it (Qt
// lays the view out before the frame's handler runs).
class ResizeLog : public QObject {
public:
    explicit ResizeLog(const CChildView *view) : m_view(view) {}
    std::vector<QSize> areas;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            areas.push_back(m_view->GetViewArea());
        return false;
    }

private:
    const CChildView *m_view;
};

class LayoutTable : public ChildViewTest, public ::testing::WithParamInterface<std::tuple<LayoutCase, int>> {
protected:
    // The window's scale, bars and page pixels against the rule's, and against the hand-worked
    // figures for this step when the bars are 14 pixels thick.
    static void Expect(CChildView &view, const Shown &rule, const LayoutCase &c, int nStep, int nBar)
    {
        SCOPED_TRACE(testing::Message() << "step " << nStep);
        EXPECT_EQ(view.m_dScale, rule.dScale);
        bool bHorz = false, bVert = false;
        view.CheckScrollBars(bHorz, bVert);
        EXPECT_EQ(bHorz, rule.bHorz);
        EXPECT_EQ(bVert, rule.bVert);
        EXPECT_EQ(view.horizontalScrollBar()->isVisible(), rule.bHorz);
        EXPECT_EQ(view.verticalScrollBar()->isVisible(), rule.bVert);
        EXPECT_EQ(view.viewport()->size(), rule.client);
        const QRect page = NotGrey(Grab(view));
        const auto pixel = [](double edge, int nEnd) {
            return std::clamp<int>(std::floor(edge + 0.5), 0, nEnd);
        };
        EXPECT_EQ(page.left(), pixel(rule.left, rule.client.width()));
        EXPECT_EQ(page.right() + 1, pixel(rule.right, rule.client.width()));
        EXPECT_EQ(page.top(), pixel(rule.top, rule.client.height()));
        EXPECT_EQ(page.bottom() + 1, pixel(rule.bottom, rule.client.height()));
        if (nBar != 14)
            return;
        for (const ByHand &h : c.byHand) {
            if (h.nStep != nStep)
                continue;
            EXPECT_NEAR(rule.dScale, h.dScale, 0.0000501);
            EXPECT_EQ(rule.bHorz, h.bHorz);
            EXPECT_EQ(rule.bVert, h.bVert);
            if (std::isnan(h.left))
                continue;
            EXPECT_NEAR(rule.left, h.left, 0.0501);
            EXPECT_NEAR(rule.right, h.right, 0.0501);
            EXPECT_NEAR(rule.top, h.top, 0.0501);
            EXPECT_NEAR(rule.bottom, h.bottom, 0.0501);
        }
    }
};

TEST_P(LayoutTable, ScaleBarsAndPageFollowTheClientOfEachOperation)
{
    const LayoutCase &c = std::get<0>(GetParam());
    const int nStyleBar = std::get<1>(GetParam());
    theApp.m_nOrientation = c.nOrientation;
    WritePage(1, c.nOrientation == 1 ? Black(340, 1417) : Black(1417, 340));
    CMainFrame frame;
    if (nStyleBar != 0)
        frame.setStyleSheet(
            QStringLiteral("QScrollBar:vertical { width: %1px; } QScrollBar:horizontal { height: %1px; }")
                .arg(nStyleBar));
    ASSERT_TRUE(frame.LoadFrame());
    CChildView *view = frame.GetActiveView();
    const int nBar = view->verticalScrollBar()->sizeHint().width();
    ASSERT_EQ(view->horizontalScrollBar()->sizeHint().height(), nBar);
    ASSERT_TRUE(nStyleBar == 0 || nBar == nStyleBar);

    // The frame's creation laid the page out with the view at a size of its own: the rule takes the
    // line step it left (the fit's least client).
    QSize total, pageStep, line;
    view->GetDeviceScrollSizes(total, pageStep, line);
    LayoutRule rule(c.nOrientation, nBar, line);
    int nZoom = c.nOpenZoom;
    frame.m_nZoom = nZoom;

    ResizeLog log(view);
    frame.installEventFilter(&log);
    const auto resizeFor = [&](QSize full) {
        frame.layout()->activate();
        frame.resize(frame.size() + full - view->GetViewArea());
        QApplication::processEvents();
    };
    const auto followResizes = [&](bool bOpening) {
        ASSERT_FALSE(log.areas.empty());
        for (const QSize &area : log.areas) {
            if (bOpening)
                rule.Open(area, nZoom);
            else
                rule.Resize(area, nZoom);
            bOpening = false;
        }
        log.areas.clear();
    };

    resizeFor(c.openFull);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QApplication::processEvents();
    ASSERT_EQ(view->GetViewArea(), c.openFull);
    followResizes(true);
    Expect(*view, rule.Now(), c, -1, nBar);

    for (int i = 0; i < static_cast<int>(c.steps.size()); ++i) {
        const Step &step = c.steps[size_t(i)];
        if (step.nZoom != 0) {
            QComboBox *box = frame.GetZoomBox();
            const int nIndex = box->findData(step.nZoom);
            ASSERT_GE(nIndex, 0);
            box->setCurrentIndex(nIndex);
            Q_EMIT box->activated(nIndex);
            nZoom = step.nZoom;
            ASSERT_EQ(frame.m_nZoom, nZoom);
            rule.Zoom(nZoom);
            QApplication::processEvents();
        } else {
            resizeFor(step.resizeTo);
            ASSERT_EQ(view->GetViewArea(), step.resizeTo);
            followResizes(false);
        }
        Expect(*view, rule.Now(), c, i, nBar);
    }
}

const LayoutCase kCases[] = {
    // Down the screen in 1150 x 560: 400 % shows both bars; the whole label then reads 1136 x 546 and
    // needs only the vertical bar; resized to 1050 x 480 the fit reads the client the vertical bar
    // leaves, 1036 x 480, and again needs that bar only.
    {"down_400_fit_resize",
     1,
     100,
     {1150, 560},
     {{400, {}}, {-1, {}}, {0, {1050, 480}}},
     {{-1, 1.0, false, false, NAN, NAN, NAN, NAN},
      {0, 4.0, true, true, NAN, NAN, NAN, NAN},
      {1, 1.3775, false, true, 504.5, 629.2, 13.7, 533.2},
      {2, 1.2065, false, true, 460.0, 568.6, 11.6, 464.3}}},
    // Across the screen, the same steps: both bars throughout.
    {"across_400_fit_resize",
     2,
     100,
     {1150, 560},
     {{400, {}}, {-1, {}}, {0, {1050, 480}}},
     {{0, 4.0, true, true, NAN, NAN, NAN, NAN},
      {1, 2.8595, true, true, 27.8, 1106.3, 143.8, 402.6},
      {2, 2.603, true, true, 26.2, 1006.3, 114.2, 349.3}}},
    // The window opening at 100 % in a low area, across and down the screen. Across: laid out in
    // 1150 x 200 the total is 1149 x 272, the vertical bar shows and the 1136 left across are too few
    // for 1149: both bars. Down: total 1149 x 559 in 1150 x 400, both bars the same way.
    {"across_open_low", 2, 100, {1150, 200}, {}, {{-1, 1.0, true, true, 378.9, 756.8, 54.7, 145.3}}},
    {"down_open_low", 1, 100, {1150, 400}, {}, {{-1, 1.0, true, true, 522.7, 613.3, 11.7, 389.5}}},
    // The whole label as the window opens in 700 x 300: scale 0.7505, total 699 x 419, both bars. Then
    // resized to 1050 x 480, the fit reads the client those bars leave, 1036 x 466: scale 1.1685, total
    // 1035 x 653, only the vertical bar.
    {"down_fit_open_resize",
     1,
     -1,
     {700, 300},
     {{0, {1050, 480}}},
     {{-1, 0.7505, true, true, 308.6, 376.6, 9.0, 292.4},
      {0, 1.1685, false, true, 464.2, 570.0, 12.8, 453.6}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, LayoutTable,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(0, 14, 20)),
                         [](const ::testing::TestParamInfo<LayoutTable::ParamType> &param) {
                             const int nBar = std::get<1>(param.param);
                             return std::string(std::get<0>(param.param).name) + "_bar_" +
                                    (nBar == 0 ? std::string("style") : std::to_string(nBar));
                         });

} // namespace
