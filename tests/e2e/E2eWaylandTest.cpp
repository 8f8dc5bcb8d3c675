// The preview on Wayland: the real corvane-preview on Qt's Wayland platform under weston's headless
// compositor, with no X server, started by corvane-driver. Nothing can move a pointer from outside a
// Wayland desktop, so the window is read and pressed through the accessibility bus alone.
#include "E2eFixture.h"
#include "WaylandSession.h"

#include "res/Format.h"

namespace {

class E2eWaylandTest : public E2eFixture {
protected:
    void SetUp() override { StartSession(CWaylandSession::Instance(), "a Wayland compositor"); }
};

TEST_F(E2eWaylandTest, ShowsTheJobAndPrints)
{
    const QString docName = QStringLiteral("配送ラベル 100%");
    CDriverRun run({QStringLiteral("--pages"), QStringLiteral("4"), QStringLiteral("--report-delay"),
                    QStringLiteral("50"), QStringLiteral("--doc"), docName},
                   CWaylandSession::Instance());
    const pid_t pid = run.PreviewPid();
    ASSERT_GT(pid, 0) << run.Output().toStdString();
    // The window announced itself; its id is the toolkit's own on Wayland, never 0.
    EXPECT_NE(run.WindowId(), 0u) << run.Output().toStdString();
    ASSERT_TRUE(WaitForWindow(pid)) << run.Output().toStdString();

    const QString title = FormatResString(IDS_TITLE_FORMAT, {LoadResString(AFX_IDS_APP_TITLE), docName});
    AccessibleNode frame;
    EXPECT_TRUE(m_atspi->WaitFor(
        pid, [&](const AccessibleNode &n) { return n.role == ATSPI_ROLE_FRAME && n.name == title; }, frame))
        << Dump(pid);

    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^-> post WM_PREVIEW_PAGES .* wParam=4 lParam=1$")))
        << run.Output().toStdString();
    const QString pane = FormatString(u"%s : %d/%d", {LoadResString(ID_INDICATOR_PAGE), 1, 4});
    EXPECT_EQ(WaitForPagePane(pid, pane), QStringLiteral("表示ページ : 1/4"));

    ASSERT_TRUE(PressCommand(pid, ID_FILE_PRINT)) << Dump(pid);
    EXPECT_EQ(run.Finish(), 0) << run.Output().toStdString();
    EXPECT_EQ(run.CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT .*wParam=1 ")), 1);
    EXPECT_TRUE(run.HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^left on disk: nothing$")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
}

} // namespace
