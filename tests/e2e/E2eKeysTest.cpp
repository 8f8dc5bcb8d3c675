// The preview's keys pressed on the real window with real input (xdotool on the active window): page
// steps and jumps, the page box, the zoom steps, print, and Escape in the view and in the boxes. What
// they did is read where a user or a screen reader sees it (the page pane, the buttons' state, the
// boxes' text, the focus, message boxes) and in the driver's report.
#include "E2eFixture.h"

#include "res/Format.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>

namespace {

// Accessibility bus roles and states beyond those the harness names.
constexpr quint32 kRoleComboBox = 11;
constexpr int kStateFocused = 12;

QString PagePane(int nPage, int nCount)
{
    return FormatResString(IDS_PANE_PAGE_FORMAT, {LoadResString(ID_INDICATOR_PAGE), nPage, nCount});
}

class E2eKeysTest : public E2eFixture {
protected:
    // Starts a job of nPages pages reported quickly, and waits until the window shows all of them.
    void StartJob(int nPages)
    {
        m_run = std::make_unique<CDriverRun>(
            QStringList{QStringLiteral("--pages"), QString::number(nPages), QStringLiteral("--first-report"),
                        QStringLiteral("0"), QStringLiteral("--report-delay"), QStringLiteral("20")});
        m_pid = m_run->PreviewPid();
        ASSERT_GT(m_pid, 0) << m_run->Output().toStdString();
        m_window = m_run->WindowId();
        ASSERT_NE(m_window, 0u) << m_run->Output().toStdString();
        ASSERT_TRUE(WaitForWindow(m_pid));
        ASSERT_EQ(WaitForPagePane(m_pid, PagePane(1, nPages)), PagePane(1, nPages))
            << m_run->Output().toStdString();
    }

    // Makes the preview the active window, as the user's click on it would, and presses the keys
    // (xdotool's names, e.g. ctrl+Next) one after the other.
    bool Press(const QStringList &keys)
    {
        const QString activate = CXSession::Instance().HasWindowManager() ? QStringLiteral("windowactivate")
                                                                          : QStringLiteral("windowfocus");
        return RunInSession(QStringLiteral("xdotool"),
                            QStringList{activate, QStringLiteral("--sync"), QString::number(m_window),
                                        QStringLiteral("key"), QStringLiteral("--delay"),
                                        QStringLiteral("30")} +
                                keys) == 0;
    }

    bool WaitForNode(const std::function<bool(const AccessibleNode &)> &match, AccessibleNode &node)
    {
        return m_atspi->WaitFor(m_pid, match, node, 10000);
    }

    // Waits until the state of the node found by match is bOn; false after nMs.
    bool WaitForState(const std::function<bool(const AccessibleNode &)> &match, int nState, bool bOn,
                      int nMs = 5000)
    {
        AccessibleNode node;
        if (!WaitForNode(match, node))
            return false;
        QDeadlineTimer deadline(nMs);
        do {
            if (m_atspi->HasState(node, nState) == bOn)
                return true;
            QThread::msleep(50);
        } while (!deadline.hasExpired());
        return false;
    }

    bool WaitForButtonEnabled(int nID, bool bEnabled)
    {
        const QString label = ResTooltipLabel(nID);
        return WaitForState(
            [&](const AccessibleNode &n) { return n.name == label && n.role == ATSPI_ROLE_PUSH_BUTTON; },
            ATSPI_STATE_ENABLED, bEnabled);
    }

    bool WaitForViewFocused(bool bFocused = true)
    {
        const QString name = LoadResString(IDS_VIEW_PAGE_SHOWN);
        return WaitForState([&](const AccessibleNode &n) { return n.name == name; }, kStateFocused, bFocused);
    }

    bool WaitForPageBoxFocused()
    {
        const QString label = ResTooltipLabel(ID_PAGE_EDIT);
        return WaitForState([&](const AccessibleNode &n) { return n.name == label; }, kStateFocused, true);
    }

    // The zoom box once its text reads expected; else what it last read. An editable combo box is
    // named by its current text on the accessibility bus.
    QString WaitForZoomBox(const QString &expected)
    {
        AccessibleNode node;
        if (m_atspi->WaitFor(
                m_pid, [&](const AccessibleNode &n) { return n.role == kRoleComboBox && n.name == expected; },
                node, 5000))
            return node.name;
        m_atspi->WaitFor(
            m_pid, [](const AccessibleNode &n) { return n.role == kRoleComboBox; }, node, 100);
        return node.name;
    }

    // The page box's text once it reads expected; else what it last read.
    QString WaitForPageBox(const QString &expected)
    {
        AccessibleNode node;
        const QString label = ResTooltipLabel(ID_PAGE_EDIT);
        if (!WaitForNode([&](const AccessibleNode &n) { return n.name == label; }, node))
            return QStringLiteral("(no page box)");
        QString text;
        QDeadlineTimer deadline(5000);
        do {
            text = TextOf(node);
            if (text == expected)
                break;
            QThread::msleep(50);
        } while (!deadline.hasExpired());
        return text;
    }

    // No message box of the preview shows text.
    bool NoBoxWith(const QString &text)
    {
        const QList<AccessibleNode> nodes = m_atspi->Tree(m_pid);
        return std::none_of(nodes.begin(), nodes.end(),
                            [&](const AccessibleNode &n) { return n.name == text; });
    }

    // The text of an editable node (its text interface, which the harness's client does not read).
    static QString TextOf(const AccessibleNode &node)
    {
        QDBusConnection bus = A11yBus();
        QDBusMessage call = QDBusMessage::createMethodCall(
            node.bus, node.path, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"));
        call.setArguments({0, -1});
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QStringLiteral("(no text)");
        return reply.arguments().at(0).toString();
    }

    static QDBusConnection A11yBus()
    {
        const QString name = QStringLiteral("e2e-keys-a11y");
        QDBusConnection bus(name);
        if (bus.isConnected())
            return bus;
        QDBusConnection session = QDBusConnection::connectToBus(
            CXSession::Instance().Environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")),
            QStringLiteral("e2e-keys-session"));
        const QDBusMessage reply = session.call(
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
            QDBus::Block, 3000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return bus;
        return QDBusConnection::connectToBus(reply.arguments().at(0).toString(), name);
    }

    // Ctrl+P ends the job with print; the driver accepts.
    void PrintAndFinish()
    {
        ASSERT_TRUE(Press({QStringLiteral("ctrl+p")}));
        EXPECT_EQ(m_run->Finish(), 0) << m_run->Output().toStdString();
        EXPECT_TRUE(m_run->HasLine(QStringLiteral("^decision: print$"))) << m_run->Output().toStdString();
    }

    std::string Report() { return m_run->Output().toStdString() + Dump(m_pid); }

    std::unique_ptr<CDriverRun> m_run;
    pid_t m_pid = -1;
    quint64 m_window = 0;
};

TEST_F(E2eKeysTest, CtrlPageDownAndUpStepOnePageAndStopAtTheEnds)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(3));
    const QString rangeError = LoadResString(IDS_ERR_PAGE_RANGE);
    EXPECT_TRUE(WaitForButtonEnabled(ID_PAGE_PREV, false));
    // At the first page Ctrl+PageUp does nothing; a message box would take the next key.
    ASSERT_TRUE(Press({QStringLiteral("ctrl+Prior"), QStringLiteral("ctrl+Next")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(2, 3)), PagePane(2, 3)) << Report();
    EXPECT_TRUE(NoBoxWith(rangeError)) << Report();
    EXPECT_TRUE(WaitForButtonEnabled(ID_PAGE_PREV, true));
    ASSERT_TRUE(Press({QStringLiteral("ctrl+Next")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(3, 3)), PagePane(3, 3)) << Report();
    EXPECT_TRUE(WaitForButtonEnabled(ID_PAGE_NEXT, false));
    // At the last page Ctrl+PageDown does nothing.
    ASSERT_TRUE(Press({QStringLiteral("ctrl+Next"), QStringLiteral("ctrl+Prior")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(2, 3)), PagePane(2, 3)) << Report();
    EXPECT_TRUE(NoBoxWith(rangeError)) << Report();
    EXPECT_TRUE(WaitForButtonEnabled(ID_PAGE_NEXT, true));
    PrintAndFinish();
}

TEST_F(E2eKeysTest, CtrlEndHomeAndThePageBoxGoToPages)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(5));
    ASSERT_TRUE(Press({QStringLiteral("ctrl+End")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(5, 5)), PagePane(5, 5)) << Report();
    EXPECT_EQ(WaitForPageBox(QStringLiteral("5")), QStringLiteral("5"));
    EXPECT_TRUE(WaitForButtonEnabled(ID_PAGE_NEXT, false));
    ASSERT_TRUE(Press({QStringLiteral("ctrl+Home")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(1, 5)), PagePane(1, 5)) << Report();
    EXPECT_TRUE(WaitForButtonEnabled(ID_PAGE_PREV, false));
    // Ctrl+L and F6 select the box's text, so the typed number replaces it.
    ASSERT_TRUE(Press({QStringLiteral("ctrl+l"), QStringLiteral("4"), QStringLiteral("Return")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(4, 5)), PagePane(4, 5)) << Report();
    ASSERT_TRUE(Press({QStringLiteral("F6"), QStringLiteral("2"), QStringLiteral("Return")}));
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(2, 5)), PagePane(2, 5)) << Report();
    // Ctrl+P also prints with the focus in the page box.
    EXPECT_TRUE(WaitForPageBoxFocused()) << Report();
    PrintAndFinish();
}

TEST_F(E2eKeysTest, ZoomKeysStepAndCtrl0Returns)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(1));
    const QString z100 = LoadResString(IDS_ZOOM_100);
    const QString z150 = LoadResString(IDS_ZOOM_150);
    const QString z75 = LoadResString(IDS_ZOOM_75);
    ASSERT_EQ(WaitForZoomBox(z100), z100) << Report();
    ASSERT_TRUE(Press({QStringLiteral("ctrl+plus")}));
    EXPECT_EQ(WaitForZoomBox(z150), z150) << Report();
    ASSERT_TRUE(Press({QStringLiteral("ctrl+0")}));
    EXPECT_EQ(WaitForZoomBox(z100), z100) << Report();
    ASSERT_TRUE(Press({QStringLiteral("ctrl+minus")}));
    EXPECT_EQ(WaitForZoomBox(z75), z75) << Report();
    // Ctrl and the "=" key that carries "+".
    ASSERT_TRUE(Press({QStringLiteral("ctrl+equal")}));
    EXPECT_EQ(WaitForZoomBox(z100), z100) << Report();
    ASSERT_TRUE(Press({QStringLiteral("ctrl+minus")}));
    EXPECT_EQ(WaitForZoomBox(z75), z75) << Report();
    ASSERT_TRUE(Press({QStringLiteral("ctrl+0")}));
    EXPECT_EQ(WaitForZoomBox(z100), z100) << Report();
    // The keypad's plus and minus.
    ASSERT_TRUE(Press({QStringLiteral("ctrl+KP_Add")}));
    EXPECT_EQ(WaitForZoomBox(z150), z150) << Report();
    ASSERT_TRUE(Press({QStringLiteral("ctrl+KP_Subtract"), QStringLiteral("ctrl+KP_Subtract")}));
    EXPECT_EQ(WaitForZoomBox(z75), z75) << Report();
    PrintAndFinish();
}

TEST_F(E2eKeysTest, EscapeInTheZoomBoxRestoresItsText)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(1));
    const QString z100 = LoadResString(IDS_ZOOM_100);
    AccessibleNode box;
    ASSERT_TRUE(WaitForNode([](const AccessibleNode &n) { return n.role == kRoleComboBox; }, box));
    ASSERT_TRUE(Click(box));
    ASSERT_TRUE(
        Press({QStringLiteral("ctrl+a"), QStringLiteral("3"), QStringLiteral("0"), QStringLiteral("0")}));
    EXPECT_EQ(WaitForZoomBox(QStringLiteral("300")), QStringLiteral("300")) << Report();
    EXPECT_TRUE(WaitForViewFocused(false)) << Report();
    ASSERT_TRUE(Press({QStringLiteral("Escape")}));
    EXPECT_EQ(WaitForZoomBox(z100), z100) << Report();
    EXPECT_TRUE(WaitForViewFocused()) << Report();
    EXPECT_TRUE(NoBoxWith(LoadResString(IDS_CONFIRM_CANCEL))) << Report();
    PrintAndFinish();
}

TEST_F(E2eKeysTest, CtrlPSendsThePrintResult)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(2));
    PrintAndFinish();
    EXPECT_EQ(m_run->CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=1 ")), 1);
    EXPECT_TRUE(m_run->HasLine(QStringLiteral("^result 1: print, accepted$")));
    EXPECT_TRUE(m_run->HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
}

TEST_F(E2eKeysTest, EscapeInTheViewAsksBeforeCancelling)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(2));
    const QString question = LoadResString(IDS_CONFIRM_CANCEL);
    ASSERT_TRUE(Press({QStringLiteral("Escape")}));
    ASSERT_TRUE(AnswerNo(m_pid, question)) << Report();
    ASSERT_TRUE(WaitForWindow(m_pid));
    EXPECT_FALSE(m_run->HasLine(QStringLiteral("WM_PREVIEW_RESULT"))) << m_run->Output().toStdString();
    ASSERT_TRUE(Press({QStringLiteral("Escape")}));
    ASSERT_TRUE(AnswerYes(m_pid, question)) << Report();
    EXPECT_EQ(m_run->Finish(), 1) << m_run->Output().toStdString();
    EXPECT_EQ(m_run->CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=2 ")), 1);
    EXPECT_TRUE(m_run->HasLine(QStringLiteral("^decision: cancel$")));
}

TEST_F(E2eKeysTest, EscapeInThePageBoxRestoresTheNumberAndFocusesTheView)
{
    ASSERT_NO_FATAL_FAILURE(StartJob(5));
    const QString question = LoadResString(IDS_CONFIRM_CANCEL);
    ASSERT_TRUE(Press({QStringLiteral("ctrl+l"), QStringLiteral("3")}));
    EXPECT_EQ(WaitForPageBox(QStringLiteral("3")), QStringLiteral("3")) << Report();
    EXPECT_TRUE(WaitForPageBoxFocused()) << Report();
    EXPECT_TRUE(WaitForViewFocused(false)) << Report();
    ASSERT_TRUE(Press({QStringLiteral("Escape")}));
    EXPECT_EQ(WaitForPageBox(QStringLiteral("1")), QStringLiteral("1")) << Report();
    EXPECT_TRUE(WaitForViewFocused()) << Report();
    EXPECT_EQ(WaitForPagePane(m_pid, PagePane(1, 5)), PagePane(1, 5));
    EXPECT_TRUE(NoBoxWith(question)) << Report();
    // The next Escape reaches the view: the cancel question.
    ASSERT_TRUE(Press({QStringLiteral("Escape")}));
    ASSERT_TRUE(AnswerYes(m_pid, question)) << Report();
    EXPECT_EQ(m_run->Finish(), 1) << m_run->Output().toStdString();
}

} // namespace
