// Whole jobs between corvane-driver and the real preview: print, cancel, the close box and Alt+F4, the
// driver's close request and its page reports.
#include "E2eFixture.h"

#include "res/Format.h"

namespace {

using E2eJobTest = E2eFixture;

const QString kCancelQuestion()
{
    return LoadResString(IDS_CONFIRM_CANCEL);
}

QString DriverError(int nNumber)
{
    return FormatResString(IDS_ERR_DRIVER_NOTIFY, {nNumber});
}

TEST_F(E2eJobTest, PrintAccepted)
{
    CDriverRun run({QStringLiteral("--report-delay"), QStringLiteral("50")});
    const pid_t pid = run.PreviewPid();
    ASSERT_GT(pid, 0);
    ASSERT_NE(run.WindowId(), 0u);
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    EXPECT_EQ(run.Finish(), 0) << run.Output().toStdString();
    EXPECT_EQ(run.CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=1 ")), 1);
    EXPECT_TRUE(run.HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^decision: print$")));
}

TEST_F(E2eJobTest, PrintRefusedThenAccepted)
{
    CDriverRun run({QStringLiteral("--pages"), QStringLiteral("3"), QStringLiteral("--report-delay"),
                    QStringLiteral("100"), QStringLiteral("--result"), QStringLiteral("refuse-once")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    ASSERT_TRUE(AnswerOk(pid, DriverError(442))) << run.Output().toStdString() << Dump(pid);
    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^result 1: print, refused$")));
    EXPECT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_ENDED")));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    EXPECT_EQ(run.Finish(), 0) << run.Output().toStdString();
    EXPECT_EQ(run.CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=1 ")), 2);
    EXPECT_TRUE(run.HasLine(QStringLiteral("^result 2: print, accepted$")));
}

TEST_F(E2eJobTest, CancelAnsweredNoThenYes)
{
    CDriverRun run({});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_APP_EXIT));
    ASSERT_TRUE(AnswerNo(pid, kCancelQuestion()));
    ASSERT_TRUE(WaitForWindow(pid));
    EXPECT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_RESULT")));
    ASSERT_TRUE(ClickCommand(pid, ID_APP_EXIT));
    ASSERT_TRUE(AnswerYes(pid, kCancelQuestion()));
    EXPECT_EQ(run.Finish(), 1) << run.Output().toStdString();
    EXPECT_EQ(run.CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=2 ")), 1);
    EXPECT_TRUE(run.HasLine(QStringLiteral("^decision: cancel$")));
}

TEST_F(E2eJobTest, CloseBoxAsksThenCancels)
{
    CDriverRun run({});
    const pid_t pid = run.PreviewPid();
    const quint64 window = run.WindowId();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(SendDeleteWindow(window));
    ASSERT_TRUE(AnswerNo(pid, kCancelQuestion()));
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(SendDeleteWindow(window));
    ASSERT_TRUE(AnswerYes(pid, kCancelQuestion()));
    EXPECT_EQ(run.Finish(), 1) << run.Output().toStdString();
    EXPECT_EQ(run.CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=2 ")), 1);
}

TEST_F(E2eJobTest, AltF4AsksThenCancels)
{
    if (!CXSession::Instance().HasWindowManager())
        GTEST_SKIP() << "Alt+F4 is the window manager's key; openbox is not installed (scripts/setup.sh)";
    CDriverRun run({});
    const pid_t pid = run.PreviewPid();
    const quint64 window = run.WindowId();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_EQ(RunInSession(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"),
                                                       QStringLiteral("--sync"), QString::number(window)}),
              0);
    ASSERT_EQ(RunInSession(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("alt+F4")}), 0);
    ASSERT_TRUE(AnswerYes(pid, kCancelQuestion())) << run.Output().toStdString() << Dump(pid);
    EXPECT_EQ(run.Finish(), 1) << run.Output().toStdString();
}

struct DriverCloseCase {
    const char *name;
    QStringList options;
};
// Test names stay short in listings.
void PrintTo(const DriverCloseCase &c, std::ostream *out)
{
    *out << c.name;
}

class E2eDriverCloseTest : public E2eFixture, public ::testing::WithParamInterface<DriverCloseCase> {};

TEST_P(E2eDriverCloseTest, ClosesWithoutResultAndDeletesTheJob)
{
    CDriverRun run(
        QStringList{QStringLiteral("--no-reports"), QStringLiteral("--pages"), QStringLiteral("3")} +
        GetParam().options);
    EXPECT_EQ(run.Finish(), 2) << run.Output().toStdString();
    EXPECT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_RESULT")));
    EXPECT_FALSE(run.HasLine(QStringLiteral("-> post WM_PREVIEW_PAGES")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^<- post WM_PREVIEW_OPENED")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, E2eDriverCloseTest,
    ::testing::Values(DriverCloseCase{"PostedAfterOpened",
                                      {QStringLiteral("--close-after"), QStringLiteral("0")}},
                      DriverCloseCase{"SentAfterOpened",
                                      {QStringLiteral("--close-after"), QStringLiteral("100"),
                                       QStringLiteral("--send-close")}},
                      DriverCloseCase{"PostedBeforeTheWindowExists", {QStringLiteral("--close-at-start")}},
                      DriverCloseCase{"OnAStream",
                                      {QStringLiteral("--close-after"), QStringLiteral("100"),
                                       QStringLiteral("--stream")}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(E2eJobTest, SentCloseIsAnsweredBeforeTheEnd)
{
    CDriverRun run({QStringLiteral("--no-reports"), QStringLiteral("--close-after"), QStringLiteral("100"),
                    QStringLiteral("--send-close")});
    EXPECT_EQ(run.Finish(), 2) << run.Output().toStdString();
    const QStringList lines = run.Output().split(u'\n');
    int reply = -1, ended = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith(QStringLiteral("<- reply WM_PREVIEW_CLOSE")))
            reply = i;
        if (lines[i].startsWith(QStringLiteral("<- send WM_PREVIEW_ENDED")))
            ended = i;
    }
    EXPECT_GE(reply, 0);
    EXPECT_LT(reply, ended);
}

TEST_F(E2eJobTest, PageReportsFollowedUntilCompletion)
{
    CDriverRun run({QStringLiteral("--pages"), QStringLiteral("9"), QStringLiteral("--reports"),
                    QStringLiteral("3:0,5:0,6:1,9:1"), QStringLiteral("--report-delay"),
                    QStringLiteral("100")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^-> post WM_PREVIEW_PAGES serial=4 wParam=9 lParam=1")));
    const QString expected = FormatString(u"%s : %d/%d", {LoadResString(ID_INDICATOR_PAGE), 1, 6});
    EXPECT_EQ(WaitForPagePane(pid, expected), QStringLiteral("表示ページ : 1/6"));
    // The next-page button follows the count.
    AccessibleNode next;
    ASSERT_TRUE(m_atspi->WaitFor(
        pid, [](const AccessibleNode &n) { return n.name == ResTooltipLabel(ID_PAGE_NEXT); }, next));
    EXPECT_TRUE(m_atspi->HasState(next, ATSPI_STATE_ENABLED));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    EXPECT_EQ(run.Finish(), 0) << run.Output().toStdString();
}

} // namespace
