// The page controls driven by real input, the page and tape length panes, and the enabling rules.
#include "FrameFixture.h"

#include "res/Resource.h"

#include <QClipboard>

#include <ostream>

namespace {

struct PastedPage {
    const char16_t *text;
    int pageCount;
    int page; // 0: refused with message 806
};

void PrintTo(const PastedPage &c, std::ostream *os)
{
    *os << '"' << QString::fromUtf16(c.text).toStdString() << "\" of " << c.pageCount;
}

class PastedPageTest : public FrameTest, public ::testing::WithParamInterface<PastedPage> {
protected:
    void AdjustJob(SampleJob &job) override { job.pageCount = GetParam().pageCount; }
};

// Text that reaches the box by pasting is not filtered; Enter reads its leading number.
TEST_P(PastedPageTest, PasteAndEnter)
{
    const PastedPage &c = GetParam();
    const QString text = QString::fromUtf16(c.text);
    QApplication::clipboard()->setText(text);
    ClickInto(PageBox());
    QTest::keyClick(PageBox(), Qt::Key_Delete);
    QTest::keyClick(PageBox(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(PageBox()->text(), text);
    QTest::keyClick(PageBox(), Qt::Key_Return);
    RunIdle();
    if (c.page == 0) {
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0].text, QStringLiteral("指定したページは表示できません。"));
        EXPECT_EQ(m_boxes[0].owner, m_frame.get());
        EXPECT_EQ(m_frame->m_nCurPage, 1);
        EXPECT_EQ(PageBox()->text(), text);
        EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 70mm"));
    } else {
        EXPECT_TRUE(m_boxes.empty());
        EXPECT_EQ(m_frame->m_nCurPage, c.page);
        EXPECT_EQ(PaneText(ID_INDICATOR_PAGE),
                  QStringLiteral("表示ページ : %1/%2").arg(c.page).arg(c.pageCount));
        EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 100 mm"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PastedPageTest,
                         ::testing::Values(PastedPage{u"3abc", 9, 3}, PastedPage{u" +3", 9, 3},
                                           PastedPage{u"-1", 9, 0}, PastedPage{u"007", 9, 7},
                                           PastedPage{u"\uFF13", 9, 3}, PastedPage{u"\u0663", 9, 3},
                                           PastedPage{u"0", 9, 0}, PastedPage{u"abc", 9, 0},
                                           PastedPage{u"6", 5, 0}, PastedPage{u"5", 5, 5},
                                           PastedPage{u"99999999999", 9, 0}, PastedPage{u"2", 1, 0}));

TEST_F(FrameTest, EmptyPageBoxIsRefused)
{
    Confirm(PageBox(), QString());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(PageBox()->text(), QString());
    EXPECT_EQ(m_frame->m_nCurPage, 1);
}

TEST_F(FrameTest, FullWidthDigitFromTheInputMethod)
{
    Confirm(PageBox(), QStringLiteral("\uFF14"));
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(m_frame->m_nCurPage, 4);
}

TEST_F(FrameTest, EnablingFollowsThePage)
{
    QAction *prev = m_frame->GetCommand(ID_PAGE_PREV);
    QAction *next = m_frame->GetCommand(ID_PAGE_NEXT);
    EXPECT_FALSE(prev->isEnabled());
    EXPECT_TRUE(next->isEnabled());
    EXPECT_TRUE(m_frame->GetCommand(ID_FILE_PRINT)->isEnabled());
    EXPECT_TRUE(m_frame->GetCommand(ID_APP_EXIT)->isEnabled());
    EXPECT_TRUE(ZoomBox()->isEnabled());
    EXPECT_TRUE(PageBox()->isEnabled());
    for (int nID = ID_INDICATOR_PAGE; nID <= ID_INDICATOR_TAPELENGTH; ++nID)
        EXPECT_TRUE(m_frame->GetPane(nID)->isEnabled()) << nID;

    Confirm(PageBox(), QStringLiteral("5"));
    EXPECT_EQ(PaneText(ID_INDICATOR_PAGE), QStringLiteral("表示ページ : 5/5"));
    EXPECT_TRUE(prev->isEnabled());
    EXPECT_FALSE(next->isEnabled());

    // The buttons themselves: previous twice from page 5.
    QTest::mouseClick(Button(ID_PAGE_PREV), Qt::LeftButton);
    RunIdle();
    EXPECT_EQ(m_frame->m_nCurPage, 4);
    EXPECT_EQ(PageBox()->text(), QStringLiteral("4"));
    EXPECT_TRUE(next->isEnabled());
    Confirm(PageBox(), QStringLiteral("2"));
    QTest::mouseClick(Button(ID_PAGE_PREV), Qt::LeftButton);
    RunIdle();
    EXPECT_EQ(m_frame->m_nCurPage, 1);
    EXPECT_FALSE(prev->isEnabled());
    QTest::mouseClick(Button(ID_PAGE_PREV), Qt::LeftButton);
    RunIdle();
    EXPECT_EQ(m_frame->m_nCurPage, 1);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 70 mm"));
}

class UncountedJobTest : public FrameTest {
protected:
    void AdjustSettings() override { theApp.m_nPageCount = 1; }
};

TEST_F(UncountedJobTest, CountStillOneThenReported)
{
    EXPECT_EQ(PaneText(ID_INDICATOR_PAGE), QStringLiteral("表示ページ : 1/1"));
    EXPECT_FALSE(m_frame->GetCommand(ID_PAGE_NEXT)->isEnabled());
    EXPECT_FALSE(m_frame->GetCommand(ID_PAGE_PREV)->isEnabled());
    // A command that arrives anyway is refused by the page rule.
    EXPECT_TRUE(m_frame->OnCmdMsg(ID_PAGE_NEXT));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(PageBox()->text(), QStringLiteral("2"));
    EXPECT_EQ(m_frame->m_nCurPage, 1);

    // The driver reports more pages: the next button follows at the next idle update.
    m_frame->OnDriverMessage(0x8002, 3, 0);
    RunIdle();
    EXPECT_TRUE(m_frame->GetCommand(ID_PAGE_NEXT)->isEnabled());
    QTest::mouseClick(Button(ID_PAGE_NEXT), Qt::LeftButton);
    RunIdle();
    EXPECT_EQ(m_frame->m_nCurPage, 2);
    EXPECT_EQ(PaneText(ID_INDICATOR_PAGE), QStringLiteral("表示ページ : 2/3"));
}

TEST_F(FrameTest, SamePageChangesNothing)
{
    Confirm(PageBox(), QStringLiteral("1"));
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 70mm"));
    EXPECT_EQ(theApp.m_strTapeLength, QStringLiteral("70mm"));
}

TEST_F(FrameTest, LeavingThePageBoxRestoresThePage)
{
    ClickInto(PageBox());
    EXPECT_EQ(PageBox()->selectedText(), QStringLiteral("1"));
    Type(PageBox(), QStringLiteral("4"));
    EXPECT_EQ(PageBox()->text(), QStringLiteral("4"));
    LeaveToView();
    EXPECT_EQ(PageBox()->text(), QStringLiteral("1"));
    EXPECT_EQ(m_frame->m_nCurPage, 1);
}

TEST_F(FrameTest, RefusedPageStaysUntilTheUserLeaves)
{
    QString textWhileUp;
    m_onBox = [&](const MessageBoxRequest &request) {
        return TakeFocusLikeABox(request, [&] { textWhileUp = PageBox()->text(); });
    };
    Confirm(PageBox(), QStringLiteral("6"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(textWhileUp, QStringLiteral("6"));
    // The window manager hands the activation back to the window.
    m_frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    RunIdle();
    EXPECT_EQ(PageBox()->text(), QStringLiteral("6"));
    LeaveToView();
    EXPECT_EQ(PageBox()->text(), QStringLiteral("1"));
}

TEST_F(FrameTest, CloseRequestDuringTheRefusalClosesTheWindow)
{
    m_onBox = [this](const MessageBoxRequest &) {
        m_frame->OnDriverMessage(0x8004, 0, 0);
        EXPECT_TRUE(m_frame->isVisible());
        return IDCANCEL;
    };
    Confirm(PageBox(), QStringLiteral("9"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_FALSE(m_frame->isVisible());
}

} // namespace
