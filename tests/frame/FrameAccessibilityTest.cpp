// What assistive technology reads of the window, through Qt's accessibility interfaces, and the
// events that announce page and zoom changes.
#include "FrameFixture.h"

#include "AccessibilityOn.h"

#include "res/Resource.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QStatusBar>

namespace {

struct SeenEvent {
    QAccessible::Event type;
    QObject *object;
    QString name;
    QString description;
    QString value;
};

std::vector<SeenEvent> *g_pSeen = nullptr;

void CaptureEvent(QAccessibleEvent *event)
{
    if (!g_pSeen)
        return;
    SeenEvent seen{event->type(), event->object(), {}, {}, {}};
    if (QAccessibleInterface *iface = event->accessibleInterface()) {
        seen.name = iface->text(QAccessible::Name);
        seen.description = iface->text(QAccessible::Description);
    }
    if (event->type() == QAccessible::ValueChanged)
        seen.value = static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
    g_pSeen->push_back(seen);
}

class FrameAccessibilityTest : public FrameTest {
protected:
    void SetUp() override
    {
        QAccessible::installUpdateHandler(CaptureEvent);
        ASSERT_TRUE(SetAccessibilityActive(true));
        ASSERT_TRUE(QAccessible::isActive());
        FrameTest::SetUp();
        g_pSeen = &m_seen;
    }
    void TearDown() override
    {
        g_pSeen = nullptr;
        FrameTest::TearDown();
        SetAccessibilityActive(false);
        QAccessible::installUpdateHandler(nullptr);
    }
    static QString Text(QObject *object, QAccessible::Text what)
    {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
        return iface ? iface->text(what) : QStringLiteral("<no interface>");
    }
    bool SawDescription(QObject *object, const QString &text) const
    {
        for (const SeenEvent &e : m_seen)
            if (e.type == QAccessible::DescriptionChanged && e.object == object && e.description == text)
                return true;
        return false;
    }
    bool SawValue(QObject *object, const QString &text) const
    {
        for (const SeenEvent &e : m_seen)
            if (e.type == QAccessible::ValueChanged && e.object == object && e.value == text)
                return true;
        return false;
    }
    std::vector<SeenEvent> m_seen;
};

TEST_F(FrameAccessibilityTest, ToolbarItemsBoxesPanesAndViewHaveNames)
{
    const std::pair<int, const char16_t *> buttons[] = {
        {ID_FILE_PRINT, u"印刷を開始します。"},
        {ID_PAGE_PREV, u"前のページを表示します。"},
        {ID_PAGE_NEXT, u"次のページを表示します。"},
        {ID_APP_EXIT, u"印刷を中止します。"},
    };
    for (const auto &[nID, name] : buttons) {
        EXPECT_EQ(Text(Button(nID), QAccessible::Name), QString::fromUtf16(name)) << nID;
    }
    EXPECT_EQ(Text(ZoomBox()->lineEdit(), QAccessible::Name),
              QStringLiteral("拡大／縮小表示の倍率を指定します。"));
    EXPECT_EQ(Text(PageBox(), QAccessible::Name), QStringLiteral("表示するページを入力します。"));
    // The shortcut is in the description (the tooltip).
    EXPECT_EQ(Text(PageBox(), QAccessible::Description),
              QStringLiteral("表示するページを入力します。 (Ctrl+L)"));

    // A pane's name is its whole text, so the value is read; the label is its description.
    EXPECT_EQ(Text(m_frame->GetPane(ID_INDICATOR_PAGE), QAccessible::Name),
              QStringLiteral("表示ページ : 1/5"));
    EXPECT_EQ(Text(m_frame->GetPane(ID_INDICATOR_PAGE), QAccessible::Description),
              QStringLiteral("表示ページ"));
    EXPECT_EQ(Text(m_frame->GetPane(ID_INDICATOR_COPIES), QAccessible::Name), QStringLiteral("印刷部数 : 3"));
    EXPECT_EQ(Text(m_frame->GetPane(ID_INDICATOR_COPIES), QAccessible::Description),
              QStringLiteral("印刷部数"));
    EXPECT_EQ(Text(m_frame->GetPane(ID_INDICATOR_TAPEWIDTH), QAccessible::Name),
              QStringLiteral("テープ幅 : 24mm"));
    EXPECT_EQ(Text(m_frame->GetPane(ID_INDICATOR_TAPELENGTH), QAccessible::Name),
              QStringLiteral("テープ長 : 70mm"));

    EXPECT_EQ(Text(View(), QAccessible::Name), QStringLiteral("表示中のページ"));
    EXPECT_EQ(Text(View(), QAccessible::Description), QStringLiteral("表示ページ : 1/5"));
}

// The accessible tree reaches every named control from the window.
TEST_F(FrameAccessibilityTest, NamedControlsAreInTheTree)
{
    QStringList names;
    std::function<void(QAccessibleInterface *, int)> walk = [&](QAccessibleInterface *iface, int depth) {
        if (!iface || depth > 12)
            return;
        names << iface->text(QAccessible::Name);
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(m_frame.get()), 0);
    for (const char16_t *name :
         {u"印刷を開始します。", u"拡大／縮小表示の倍率を指定します。", u"前のページを表示します。",
          u"表示するページを入力します。", u"次のページを表示します。", u"印刷を中止します。",
          u"表示中のページ", u"表示ページ : 1/5", u"テープ長 : 70mm"})
        EXPECT_TRUE(names.contains(QString::fromUtf16(name))) << QString::fromUtf16(name).toStdString();
}

TEST_F(FrameAccessibilityTest, PageChangesAreAnnounced)
{
    LeaveToView();
    m_seen.clear();
    QTest::keyClick(View(), Qt::Key_PageDown, Qt::ControlModifier);
    RunIdle();
    EXPECT_TRUE(SawDescription(View(), QStringLiteral("表示ページ : 2/5")));
    // The pane tells its new text too.
    bool paneNamed = false;
    for (const SeenEvent &e : m_seen)
        paneNamed |= e.type == QAccessible::NameChanged && e.object == m_frame->GetPane(ID_INDICATOR_PAGE) &&
                     e.name == QStringLiteral("表示ページ : 2/5");
    EXPECT_TRUE(paneNamed);

    // A new page count from the driver is a change of the page text as well.
    m_seen.clear();
    m_frame->OnPreviewPages(7, 0);
    RunIdle();
    EXPECT_TRUE(SawDescription(View(), QStringLiteral("表示ページ : 2/7")));

    // Nothing changed, nothing announced.
    m_seen.clear();
    RunIdle();
    EXPECT_FALSE(SawDescription(View(), QStringLiteral("表示ページ : 2/7")));
}

TEST_F(FrameAccessibilityTest, ZoomChangesAreAnnouncedWithTheBoxText)
{
    LeaveToView();
    m_seen.clear();
    QTest::keyClick(View(), Qt::Key_Plus, Qt::ControlModifier);
    RunIdle();
    EXPECT_TRUE(SawValue(ZoomBox(), QStringLiteral("150%")));
    Confirm(ZoomBox(), QStringLiteral("130"));
    EXPECT_TRUE(SawValue(ZoomBox(), QStringLiteral("130%")));
    // A picked entry: the whole label, from the list.
    m_seen.clear();
    ZoomBox()->showPopup();
    RunIdle();
    QAbstractItemView *list = ZoomBox()->view();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(ZoomBox()->model()->index(9, 0)).center());
    RunIdle();
    EXPECT_TRUE(SawValue(ZoomBox(), QStringLiteral("ﾗﾍﾞﾙ全体を表示")));
    // A refused zoom changes nothing and announces nothing.
    m_seen.clear();
    Confirm(ZoomBox(), QStringLiteral("900"));
    for (const SeenEvent &e : m_seen)
        EXPECT_NE(e.type, QAccessible::ValueChanged);
}

} // namespace
