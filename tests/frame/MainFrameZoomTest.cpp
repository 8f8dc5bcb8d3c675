// The zoom box driven by real input: typed percents, picked entries, Ctrl and the wheel, focus.
#include "FrameFixture.h"

#include "res/Resource.h"

#include <QAbstractItemView>
#include <QWheelEvent>

#include <ostream>

namespace {

const QString kWholeLabel = QStringLiteral("ﾗﾍﾞﾙ全体を表示");

struct TypedZoom {
    const char16_t *typed;
    int zoom;              // after Enter; 0: refused with message 805
    const char16_t *shown; // the box's text after Enter
    int index;             // the current entry after Enter
};

void PrintTo(const TypedZoom &c, std::ostream *os)
{
    *os << '"' << QString::fromUtf16(c.typed).toStdString() << '"';
}

class ZoomEnterTest : public FrameTest, public ::testing::WithParamInterface<TypedZoom> {};

TEST_P(ZoomEnterTest, TypedTextAndEnter)
{
    const TypedZoom &c = GetParam();
    const QString typed = QString::fromUtf16(c.typed);
    const double scaleBefore = View()->m_dScale;
    Confirm(ZoomBox(), typed);
    if (c.zoom == 0) {
        ASSERT_EQ(m_boxes.size(), 1u);
        EXPECT_EQ(m_boxes[0].text, QStringLiteral("指定した倍率では表示できません。"));
        EXPECT_EQ(m_boxes[0].owner, m_frame.get());
        EXPECT_EQ(m_frame->m_nZoom, 100);
        EXPECT_EQ(View()->m_dScale, scaleBefore);
    } else {
        EXPECT_TRUE(m_boxes.empty());
        EXPECT_EQ(m_frame->m_nZoom, c.zoom);
    }
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QString::fromUtf16(c.shown));
    EXPECT_EQ(ZoomBox()->currentIndex(), c.index);
    EXPECT_EQ(ZoomBox()->count(), 10);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZoomEnterTest,
    ::testing::Values(TypedZoom{u"150", 150, u"150%", 4}, TypedZoom{u"130", 130, u"130%", 5},
                      TypedZoom{u"%200", 200, u"200%", 3}, TypedZoom{u" 300% ", 300, u"300%", 2},
                      TypedZoom{u"\u300075\u3000", 75, u"75%", 6}, TypedZoom{u"25", 25, u"25%", 8},
                      TypedZoom{u"600", 600, u"600%", 0}, TypedZoom{u"0600", 600, u"600%", 0},
                      TypedZoom{u"ﾗﾍﾞﾙ全体を表示", -1, u"ﾗﾍﾞﾙ全体を表示", 9},
                      // The current zoom typed again: nothing changes, the typed text stays.
                      TypedZoom{u"100", 100, u"100", 5}, TypedZoom{u" 100 ", 100, u" 100 ", 5},
                      TypedZoom{u"1 00", 0, u"1 00", 5}, TypedZoom{u"+100", 0, u"+100", 5},
                      TypedZoom{u"100.5", 0, u"100.5", 5}, TypedZoom{u"24", 0, u"24", 5},
                      TypedZoom{u"601", 0, u"601", 5}, TypedZoom{u"4294967396", 0, u"4294967396", 5},
                      TypedZoom{u"", 0, u"", 5},
                      TypedZoom{u"\uFF11\uFF15\uFF10", 0, u"\uFF11\uFF15\uFF10", 5},
                      TypedZoom{u" ﾗﾍﾞﾙ全体を表示", 0, u" ﾗﾍﾞﾙ全体を表示", 5}));

TEST_F(FrameTest, TypedZoomThenFocusLossRestoresTheText)
{
    Confirm(ZoomBox(), QStringLiteral("130"));
    LeaveToView();
    ClickInto(ZoomBox());
    EXPECT_EQ(ZoomBox()->lineEdit()->selectedText(), QStringLiteral("130%"));
    // An entry's text, typed but not confirmed, does not pick the entry either.
    Type(ZoomBox(), QStringLiteral("150%"));
    LeaveToView();
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("130%"));
    EXPECT_EQ(m_frame->m_nZoom, 130);
    EXPECT_EQ(ZoomBox()->currentIndex(), 5);
}

TEST_F(FrameTest, RefusedZoomTextStaysWhileTheBoxIsUp)
{
    // The message box takes the focus, as a real one does.
    QString textWhileUp;
    m_onBox = [&](const MessageBoxRequest &request) {
        return TakeFocusLikeABox(request, [&] { textWhileUp = ZoomBox()->lineEdit()->text(); });
    };
    Confirm(ZoomBox(), QStringLiteral("601"));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(textWhileUp, QStringLiteral("601"));
    // The window manager hands the activation back to the window.
    m_frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    RunIdle();
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("601"));
    LeaveToView();
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("100%"));
}

TEST_F(FrameTest, PickingEntries)
{
    ClickInto(ZoomBox());
    QTest::keyClick(ZoomBox(), Qt::Key_Down);
    RunIdle();
    EXPECT_EQ(m_frame->m_nZoom, 75);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("75%"));

    // From the list itself.
    ZoomBox()->showPopup();
    RunIdle();
    QAbstractItemView *list = ZoomBox()->view();
    const QRect item = list->visualRect(ZoomBox()->model()->index(9, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    RunIdle();
    EXPECT_EQ(m_frame->m_nZoom, -1);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), kWholeLabel);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(ZoomBox()->count(), 10);
}

TEST_F(FrameTest, PickingTheSelectedEntryAfterATypedZoom)
{
    Confirm(ZoomBox(), QStringLiteral("130"));
    ASSERT_EQ(ZoomBox()->currentIndex(), 5);
    ZoomBox()->showPopup();
    RunIdle();
    QAbstractItemView *list = ZoomBox()->view();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(ZoomBox()->model()->index(5, 0)).center());
    RunIdle();
    EXPECT_EQ(m_frame->m_nZoom, 100);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), QStringLiteral("100%"));
}

struct WheelStep {
    const char16_t *zoomTyped; // how the zoom before is reached
    int zoomBefore;
    int delta; // wheel delta; n is delta / 120
    int index;
    int zoomAfter;
};

void PrintTo(const WheelStep &c, std::ostream *os)
{
    *os << "zoom " << c.zoomBefore << " delta " << c.delta;
}

class WheelZoomTest : public FrameTest, public ::testing::WithParamInterface<WheelStep> {};

TEST_P(WheelZoomTest, CtrlWheelOverTheView)
{
    const WheelStep &c = GetParam();
    if (c.zoomBefore != 100)
        Confirm(ZoomBox(), QString::fromUtf16(c.zoomTyped));
    ASSERT_EQ(m_frame->m_nZoom, c.zoomBefore);
    LeaveToView();
    const int selectedBefore = ZoomBox()->currentIndex();
    QWidget *target = View()->viewport();
    const QPoint pos = target->rect().center();
    QWheelEvent wheel(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, c.delta), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
    RunIdle();
    EXPECT_EQ(ZoomBox()->currentIndex(), c.index) << "selected before: " << selectedBefore;
    EXPECT_EQ(m_frame->m_nZoom, c.zoomAfter);
    EXPECT_EQ(ZoomBox()->lineEdit()->text(), ZoomBox()->itemText(c.index));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WheelZoomTest,
    ::testing::Values(WheelStep{u"", 100, 120, 4, 150}, WheelStep{u"", 100, -120, 6, 75},
                      WheelStep{u"", 100, 240, 3, 200}, WheelStep{u"", 100, 60, 5, 100},
                      WheelStep{u"130", 130, 120, 4, 150}, WheelStep{u"130", 130, -120, 5, 100},
                      WheelStep{u"130", 130, 60, 4, 150}, WheelStep{u"ﾗﾍﾞﾙ全体を表示", -1, 120, 8, 25},
                      WheelStep{u"ﾗﾍﾞﾙ全体を表示", -1, 240, 7, 50},
                      WheelStep{u"ﾗﾍﾞﾙ全体を表示", -1, -120, 8, 25},
                      WheelStep{u"ﾗﾍﾞﾙ全体を表示", -1, 60, 8, 25}, WheelStep{u"600", 600, 120, 0, 600},
                      WheelStep{u"600", 600, -120, 1, 400}, WheelStep{u"25", 25, -120, 8, 25},
                      WheelStep{u"25", 25, 120, 7, 50}));

} // namespace
