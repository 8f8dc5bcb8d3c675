// The window's keys, pressed with the focus where a user has it: the page view, the zoom box or the
// page box.
#include "FrameFixture.h"

#include "frame/WistrelToolTipCtrl.h"
#include "res/Resource.h"

#include <QScrollBar>

#include <ostream>

namespace {

enum class Focus { View, ZoomBox, PageBox };

void PrintTo(Focus f, std::ostream *os)
{
    *os << (f == Focus::View ? "view" : f == Focus::ZoomBox ? "zoom box" : "page box");
}

class FrameKeysTest : public FrameTest {
protected:
    QWidget *FocusOn(Focus focus)
    {
        if (focus == Focus::View)
            LeaveToView();
        else
            ClickInto(focus == Focus::ZoomBox ? static_cast<QWidget *>(ZoomBox()) : PageBox());
        return QApplication::focusWidget();
    }
    void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
        RunIdle();
    }
};

class WindowKeysTest : public FrameKeysTest, public ::testing::WithParamInterface<Focus> {};

// Page and zoom shortcuts work wherever the focus is in the window.
TEST_P(WindowKeysTest, PageAndZoomKeysFromEveryFocus)
{
    QWidget *focused = FocusOn(GetParam());
    ASSERT_NE(focused, nullptr);
    Press(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nCurPage, 2);
    EXPECT_EQ(PaneText(ID_INDICATOR_PAGE), QStringLiteral("表示ページ : 2/5"));
    Press(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nCurPage, 5);
    EXPECT_EQ(PageBox()->text(), QStringLiteral("5"));
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nCurPage, 4);
    Press(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nCurPage, 1);
    EXPECT_EQ(PaneText(ID_INDICATOR_TAPELENGTH), QStringLiteral("テープ長 : 70 mm"));

    Press(Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_frame->m_nZoom, 150);
    Press(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nZoom, 200);
    Press(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nZoom, 150);
    EXPECT_EQ(ZoomBox()->currentIndex(), 4);
    Press(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nZoom, 100);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("100%"));
    EXPECT_EQ(ZoomBox()->currentIndex(), 5);
    EXPECT_DOUBLE_EQ(View()->m_dScale, 1.0);
    EXPECT_TRUE(m_boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Focus, WindowKeysTest,
                         ::testing::Values(Focus::View, Focus::ZoomBox, Focus::PageBox));

// At the ends the commands are disabled: the keys do nothing and show no message.
TEST_F(FrameKeysTest, PageKeysAtTheEndsDoNothing)
{
    FocusOn(Focus::View);
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nCurPage, 1);
    Press(Qt::Key_End, Qt::ControlModifier);
    Press(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nCurPage, 5);
    EXPECT_EQ(PageBox()->text(), QStringLiteral("5"));
    EXPECT_TRUE(m_boxes.empty());
}

// The zoom keys stop at the ends of the list; Ctrl+0 from a typed zoom goes through the box.
TEST_F(FrameKeysTest, ZoomKeysAtTheEndsAndFromATypedZoom)
{
    Confirm(ZoomBox(), QStringLiteral("600"));
    ASSERT_EQ(m_frame->m_nZoom, 600);
    Press(Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nZoom, 600);
    LeaveToView();
    Confirm(ZoomBox(), QStringLiteral("130"));
    Press(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nZoom, 100);
    LeaveToView();
    Confirm(ZoomBox(), QStringLiteral("130"));
    Press(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(m_frame->m_nZoom, 100);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("100%"));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(FrameKeysTest, CtrlLAndF6FocusThePageBoxWithItsTextSelected)
{
    for (const auto &[key, mods] :
         {std::pair{Qt::Key_L, Qt::ControlModifier}, std::pair{Qt::Key_F6, Qt::NoModifier}}) {
        FocusOn(Focus::View);
        Press(key, mods);
        ASSERT_EQ(QApplication::focusWidget(), PageBox());
        EXPECT_EQ(PageBox()->selectedText(), QStringLiteral("1"));
        // Typing replaces the number.
        Type(PageBox(), QStringLiteral("3"));
        QTest::keyClick(PageBox(), Qt::Key_Return);
        RunIdle();
        EXPECT_EQ(m_frame->m_nCurPage, 3);
        Press(Qt::Key_Home, Qt::ControlModifier);
    }
}

TEST_F(FrameKeysTest, EscapeInTheBoxesRestoresTheTextAndReturnsToTheView)
{
    ClickInto(ZoomBox());
    Type(QApplication::focusWidget(), QStringLiteral("33"));
    Press(Qt::Key_Escape);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("100%"));
    EXPECT_EQ(QApplication::focusWidget(), View());
    EXPECT_EQ(m_frame->m_nZoom, 100);

    ClickInto(PageBox());
    Type(PageBox(), QStringLiteral("4"));
    Press(Qt::Key_Escape);
    EXPECT_EQ(PageBox()->text(), QStringLiteral("1"));
    EXPECT_EQ(QApplication::focusWidget(), View());
    EXPECT_EQ(m_frame->m_nCurPage, 1);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_TRUE(m_frame->isVisible());
}

// Escape in the view is the cancel button: the question guards it.
TEST_F(FrameKeysTest, EscapeInTheViewAsksBeforeCancelling)
{
    m_onBox = [](const MessageBoxRequest &) { return IDNO; };
    FocusOn(Focus::View);
    Press(Qt::Key_Escape);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, QStringLiteral("印刷を中止します。\nよろしいですか？"));
    EXPECT_TRUE(m_frame->isVisible());
    m_onBox = [](const MessageBoxRequest &) { return IDYES; };
    Press(Qt::Key_Escape);
    EXPECT_EQ(m_boxes.size(), 2u);
    EXPECT_FALSE(m_frame->isVisible());
}

// Ctrl+P prints: with no driver attached the result counts as accepted and the window closes.
TEST_F(FrameKeysTest, CtrlPPrints)
{
    FocusOn(Focus::PageBox);
    Press(Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_FALSE(m_frame->isVisible());
}

// The scrolling keys move by the layout's steps; 400 % gives both bars on this window.
TEST_F(FrameKeysTest, ScrollKeysMoveByTheLineAndPageSteps)
{
    Confirm(ZoomBox(), QStringLiteral("400"));
    FocusOn(Focus::View);
    bool bHorz = false;
    bool bVert = false;
    View()->CheckScrollBars(bHorz, bVert);
    ASSERT_TRUE(bHorz && bVert);
    QSize total, page, line;
    View()->GetDeviceScrollSizes(total, page, line);
    ASSERT_GT(line.width(), 0);
    ASSERT_GT(line.height(), 0);
    QScrollBar *h = View()->horizontalScrollBar();
    QScrollBar *v = View()->verticalScrollBar();
    Press(Qt::Key_Home);
    EXPECT_EQ(v->value(), 0);
    const int x0 = h->value();
    Press(Qt::Key_Down);
    EXPECT_EQ(v->value(), line.height());
    Press(Qt::Key_PageDown);
    EXPECT_EQ(v->value(), std::min(v->maximum(), line.height() + page.height()));
    Press(Qt::Key_Up);
    EXPECT_EQ(v->value(), std::min(v->maximum(), line.height() + page.height()) - line.height());
    Press(Qt::Key_End);
    EXPECT_EQ(v->value(), v->maximum());
    Press(Qt::Key_PageUp);
    EXPECT_EQ(v->value(), v->maximum() - page.height());
    EXPECT_EQ(h->value(), x0);
    Press(Qt::Key_Right);
    EXPECT_EQ(h->value(), std::min(h->maximum(), x0 + line.width()));
    Press(Qt::Key_Left);
    EXPECT_EQ(h->value(), x0);
    EXPECT_EQ(m_frame->m_nZoom, 400);
    EXPECT_EQ(m_frame->m_nCurPage, 1);
}

// The tooltips carry the shortcut after the label, as Qt writes it.
TEST_F(FrameKeysTest, TooltipsShowTheShortcuts)
{
    EXPECT_EQ(Button(ID_FILE_PRINT)->toolTip(), QStringLiteral("印刷を開始します。 (Ctrl+P)"));
    EXPECT_EQ(Button(ID_PAGE_PREV)->toolTip(), QStringLiteral("前のページを表示します。 (Ctrl+PgUp)"));
    EXPECT_EQ(Button(ID_PAGE_NEXT)->toolTip(), QStringLiteral("次のページを表示します。 (Ctrl+PgDown)"));
    EXPECT_EQ(Button(ID_APP_EXIT)->toolTip(), QStringLiteral("印刷を中止します。 (Esc)"));
    EXPECT_EQ(PageBox()->toolTip(), QStringLiteral("表示するページを入力します。 (Ctrl+L)"));
    EXPECT_EQ(ZoomBox()->toolTip(), QStringLiteral("拡大／縮小表示の倍率を指定します。 (Ctrl++; Ctrl+-)"));
    // The tip window shows exactly that text.
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), Button(ID_FILE_PRINT)->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(Button(ID_FILE_PRINT), &help);
    EXPECT_EQ(m_frame->GetToolTipCtrl()->GetLabel(), QStringLiteral("印刷を開始します。 (Ctrl+P)"));
    m_frame->GetToolTipCtrl()->HideTip();
}

} // namespace
