// The tape-length pane's tooltip on the real window: the page's length, then the job's once the
// driver has reported completion; the pane itself never changes for it.
#include "FrameFixture.h"

#include "app/PageFiles.h"
#include "frame/WistrelToolTipCtrl.h"
#include "res/Resource.h"

#include <QFile>
#include <QFontMetrics>
#include <QHelpEvent>

#include <algorithm>

namespace {

// The sample job: page 1 is 70 mm, pages 2 to 5 are 100 mm, at 360 dpi across the screen:
// lround(70 x 360 / 25.4) = 992 and lround(100 x 360 / 25.4) = 1417 dots. The job is
// 992 + 4 x 1417 = 6660 dots = 469.9 mm; three copies 1409.7 mm.
class TapeUseTipTest : public FrameTest {
protected:
    QLabel *Pane() const { return m_frame->GetPane(ID_INDICATOR_TAPELENGTH); }
};

TEST_F(TapeUseTipTest, PageLengthThenTheJobOnceComplete)
{
    EXPECT_EQ(Pane()->toolTip(),
              QStringLiteral("このページ : 70 mm（992 ドット）\nジョブ全体 : ページの作成中です"));
    m_frame->OnPreviewPages(5, 1);
    RunIdle();
    EXPECT_EQ(Pane()->toolTip(),
              QStringLiteral("このページ : 70 mm（992 ドット）\nジョブ全体（3 部）: 1410 mm（1.41 m）"));
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 70mm"));
    EXPECT_EQ(theApp.m_nTapeLengthMm, 70);

    LeaveToView();
    QTest::keyClick(View(), Qt::Key_PageDown, Qt::ControlModifier);
    RunIdle();
    EXPECT_EQ(Pane()->toolTip(),
              QStringLiteral("このページ : 100 mm（1417 ドット）\nジョブ全体（3 部）: 1410 mm（1.41 m）"));
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 100 mm"));
    EXPECT_EQ(theApp.m_nTapeLengthMm, 100);

    // The window's own tip shows it.
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), Pane()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(Pane(), &help);
    CWistrelToolTipCtrl *tip = m_frame->GetToolTipCtrl();
    EXPECT_EQ(tip->GetLabel(), Pane()->toolTip());
    // Sized for its two lines as drawn: two lines tall, as wide as the longer line.
    QFont bold = tip->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const QStringList lines = Pane()->toolTip().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    const int longer = std::max(metrics.horizontalAdvance(lines[0]), metrics.horizontalAdvance(lines[1]));
    EXPECT_GE(tip->height(), 2 * metrics.height());
    EXPECT_GE(tip->width(), longer);
    EXPECT_LT(tip->width(),
              longer + metrics.horizontalAdvance(lines[0].size() < lines[1].size() ? lines[0] : lines[1]));
    tip->HideTip();
}

// The sum is read from the pages when the driver completes, not earlier: pages that appear or change
// before completion count as they are at completion.
TEST_F(TapeUseTipTest, SumIsReadAtCompletion)
{
    m_frame->OnPreviewPages(4, 0);
    EXPECT_TRUE(Pane()->toolTip().endsWith(QStringLiteral("ページの作成中です")));
    m_frame->OnPreviewPages(3, 1);
    // 992 + 2 x 1417 = 3826 dots = 269.94 mm, three copies 809.8 mm.
    EXPECT_TRUE(Pane()->toolTip().endsWith(QStringLiteral("ジョブ全体（3 部）: 810 mm（0.81 m）")))
        << Pane()->toolTip().toStdString();
}

// A page that cannot be read gives no sum, rather than one that leaves out a page.
TEST_F(TapeUseTipTest, AnUnreadablePageIsNamed)
{
    ASSERT_TRUE(QFile::remove(PageFileName(theApp.m_strPageFileFormat, 4)));
    m_frame->OnPreviewPages(5, 1);
    EXPECT_TRUE(Pane()->toolTip().endsWith(QStringLiteral("ジョブ全体 : ページ 4 の長さを読み取れません")))
        << Pane()->toolTip().toStdString();
}

} // namespace
