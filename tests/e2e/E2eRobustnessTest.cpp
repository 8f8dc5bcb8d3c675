// The preview when things go wrong: a driver that dies, signals, a refused end notification, refused
// starts with what they leave on disk, handles that name no window, and garbage from the driver.
#include "E2eFixture.h"

#include "res/Format.h"

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/wait.h>

namespace {

using E2eRobustnessTest = E2eFixture;

// Waits for an orphaned preview (this process reaps orphans); its exit code, -1 on timeout.
int WaitForOrphan(pid_t pid, int nMs = 15000)
{
    int status = 0;
    for (int waited = 0; waited < nMs; waited += 20) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        if (done < 0)
            return -3;
        QThread::msleep(20);
    }
    ::kill(pid, SIGKILL);
    return -1;
}

class E2eDriverDiesTest : public E2eFixture, public ::testing::WithParamInterface<int> {};

TEST_P(E2eDriverDiesTest, PrintOrCancelThenJustClose)
{
    CDriverRun run({QStringLiteral("--no-reports"), QStringLiteral("--die-after"), QStringLiteral("200")});
    const QString dir = JobDir(run);
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    EXPECT_EQ(run.Finish(), -2) << run.Output().toStdString(); // killed
    ASSERT_EQ(::kill(pid, 0), 0) << "the preview outlives its driver";
    ASSERT_TRUE(ClickCommand(pid, GetParam()));
    if (GetParam() == ID_APP_EXIT) {
        ASSERT_TRUE(AnswerYes(pid, LoadResString(IDS_CONFIRM_CANCEL))) << Dump(pid);
    }
    EXPECT_EQ(WaitForOrphan(pid), 0);
    EXPECT_EQ(FilesIn(dir), QStringList());
    QDir().rmdir(dir);
}

INSTANTIATE_TEST_SUITE_P(Commands, E2eDriverDiesTest, ::testing::Values(int(ID_FILE_PRINT), int(ID_APP_EXIT)),
                         [](const auto &param) { return param.param == ID_FILE_PRINT ? "Print" : "Cancel"; });

TEST_F(E2eRobustnessTest, SigtermEndsLikeTheCloseRequest)
{
    CDriverRun run({QStringLiteral("--no-reports")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^opened after")));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(run.Finish(), 2) << run.Output().toStdString();
    EXPECT_TRUE(run.HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
}

TEST_F(E2eRobustnessTest, SigtermDuringTheQuestionClosesWithoutResult)
{
    CDriverRun run({QStringLiteral("--no-reports")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_APP_EXIT));
    AccessibleNode question;
    ASSERT_TRUE(m_atspi->WaitFor(
        pid, [](const AccessibleNode &n) { return n.name == LoadResString(IDS_CONFIRM_CANCEL); }, question));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(run.Finish(), 2) << run.Output().toStdString();
    EXPECT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_RESULT")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
}

TEST_F(E2eRobustnessTest, SigtermWhileTheResultWaitsEndsTheWait)
{
    CDriverRun run(
        {QStringLiteral("--no-reports"), QStringLiteral("--result"), QStringLiteral("delay:4000")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^<- send WM_PREVIEW_RESULT")));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^<- send WM_PREVIEW_ENDED"), 3000)) << "the wait did not end";
    run.Finish();
    EXPECT_EQ(run.CountLines(QStringLiteral("^<- send WM_PREVIEW_RESULT")), 1);
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$"))) << run.Output().toStdString();
}

TEST_F(E2eRobustnessTest, DriverCloseDuringTheQuestionClosesWithoutResult)
{
    CDriverRun run({QStringLiteral("--no-reports"), QStringLiteral("--close-after"), QStringLiteral("2500")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_APP_EXIT));
    AccessibleNode question;
    ASSERT_TRUE(m_atspi->WaitFor(
        pid, [](const AccessibleNode &n) { return n.name == LoadResString(IDS_CONFIRM_CANCEL); }, question));
    ASSERT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_CLOSE"))) << "the close request came too early";
    EXPECT_EQ(run.Finish(), 2) << run.Output().toStdString();
    EXPECT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_RESULT")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^at WM_PREVIEW_ENDED: every job file is gone$")));
}

TEST_F(E2eRobustnessTest, RefusedEndNotificationShows239AndExitsZero)
{
    CDriverRun run({QStringLiteral("--no-reports"), QStringLiteral("--ended"), QStringLiteral("refuse"),
                    QStringLiteral("--close-after"), QStringLiteral("100")});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(run.WaitForLine(QStringLiteral("^-> reply WM_PREVIEW_ENDED .* lParam=-1$")));
    ASSERT_TRUE(AnswerOk(pid, FormatResString(IDS_ERR_DRIVER_NOTIFY, {239}))) << Dump(pid);
    EXPECT_EQ(run.Finish(), 2) << run.Output().toStdString();
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
}

struct StartCase {
    const char *name;
    QStringList options;
    int message;    // 808 or 803
    int number;     // with 803
    bool pagesGone; // the exit deletes the pages (FileName was read)
};
// Test names stay short in listings.
void PrintTo(const StartCase &c, std::ostream *out)
{
    *out << c.name;
}

class E2eFailedStartTest : public E2eFixture, public ::testing::WithParamInterface<StartCase> {};

TEST_P(E2eFailedStartTest, MessageAndWhatIsLeft)
{
    const StartCase &c = GetParam();
    QTemporaryDir dir;
    CDriverRun run(QStringList{QStringLiteral("--pages"), QStringLiteral("3"), QStringLiteral("--dir"),
                               dir.path(), QStringLiteral("--keep-files")} +
                   c.options);
    const pid_t pid = run.PreviewPid();
    const QString text = c.message == IDS_ERR_JOB_FILE ? FormatResString(IDS_ERR_JOB_FILE, {c.number})
                                                       : LoadResString(IDS_ERR_NOT_FROM_DRIVER);
    ASSERT_TRUE(AnswerOk(pid, text)) << Dump(pid) << run.Output().toStdString();
    EXPECT_EQ(run.Finish(), 3) << run.Output().toStdString();
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
    EXPECT_FALSE(run.HasLine(QStringLiteral("WM_PREVIEW_")));
    const QStringList pages = {QStringLiteral("label_00001.bmp"), QStringLiteral("label_00002.bmp"),
                               QStringLiteral("label_00003.bmp")};
    const QStringList expected =
        QStringList{QStringLiteral("label.ini")} + (c.pagesGone ? QStringList() : pages);
    EXPECT_EQ(FilesIn(dir.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, E2eFailedStartTest,
    ::testing::Values(StartCase{"NoIni", {QStringLiteral("--no-ini")}, IDS_ERR_NOT_FROM_DRIVER, 0, false},
                      StartCase{"NoHwnd", {QStringLiteral("--no-hwnd")}, IDS_ERR_NOT_FROM_DRIVER, 0, false},
                      StartCase{"NoTapeWidth",
                                {QStringLiteral("--omit-key"), QStringLiteral("MaxTapeWidth")},
                                IDS_ERR_JOB_FILE,
                                267,
                                false},
                      StartCase{"NoFileName",
                                {QStringLiteral("--omit-key"), QStringLiteral("FileName")},
                                IDS_ERR_JOB_FILE,
                                294,
                                false},
                      StartCase{"NoCopies",
                                {QStringLiteral("--omit-key"), QStringLiteral("Copies")},
                                IDS_ERR_JOB_FILE,
                                305,
                                true},
                      StartCase{"NoOrientation",
                                {QStringLiteral("--omit-key"), QStringLiteral("Orientation")},
                                IDS_ERR_JOB_FILE,
                                349,
                                true}),
    [](const auto &param) { return std::string(param.param.name); });

class E2eNoWindowHandleTest : public E2eFixture, public ::testing::WithParamInterface<const char *> {};

TEST_P(E2eNoWindowHandleTest, RunsAndNeverWritesToTheHandle)
{
    // The preview starts, shows the job and prints at once (a send to no window is accepted); nothing
    // reaches the driver, and nothing is written to the descriptor the handle names.
    QTemporaryDir scratch;
    const QString output = scratch.filePath(QStringLiteral("preview-output"));
    CDriverRun run({QStringLiteral("--hwnd"), QString::fromLatin1(GetParam()),
                    QStringLiteral("--preview-output"), output});
    const pid_t pid = run.PreviewPid();
    ASSERT_TRUE(WaitForWindow(pid)) << run.Output().toStdString();
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    EXPECT_EQ(run.Finish(), 3) << run.Output().toStdString();
    EXPECT_FALSE(run.HasLine(QStringLiteral("^<- ")));
    EXPECT_TRUE(run.HasLine(QStringLiteral("^left on disk: nothing$")));
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_FALSE(written.contains(QByteArray("\x01\x00\x00\x00\x01\x80\x00\x00", 8)))
        << "WM_PREVIEW_OPENED on stdout";
    EXPECT_FALSE(written.contains(QByteArray("\x02\x00\x00\x00\x03\x80\x00\x00", 8)))
        << "WM_PREVIEW_RESULT on stdout";
    EXPECT_FALSE(written.contains(QByteArray("\x02\x00\x00\x00\x05\x80\x00\x00", 8)))
        << "WM_PREVIEW_ENDED on stdout";
}

INSTANTIATE_TEST_SUITE_P(Handles, E2eNoWindowHandleTest, ::testing::Values("zz", "1", "0"),
                         [](const auto &param) {
                             return std::string(param.param == std::string("1")   ? "Stdout"
                                                : param.param == std::string("0") ? "Zero"
                                                                                  : "NotHex");
                         });

// The sockets a running preview holds (its X connection, its buses), by descriptor number.
QList<int> SocketDescriptors(pid_t pid)
{
    QList<int> fds;
    const QDir dir(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &name : dir.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(dir.filePath(name)).contains(QStringLiteral("socket:[")))
            fds.append(name.toInt());
    }
    return fds;
}

// A driver whose end of the pair is close-on-exec hands over a number that names nothing in the
// preview, or, once the toolkit has started, one of the toolkit's own connections. The preview
// decides what the handle names before it opens anything, so it runs the job with no window to talk
// to: it shows the job, writes nothing into its own connections, ends on SIGTERM and deletes the job.
TEST_F(E2eRobustnessTest, HandleThatWasNotInheritedNamesNoWindow)
{
    QList<QString> handles = {QString()}; // first the driver's own number, then each socket seen
    for (qsizetype i = 0; i < handles.size(); ++i) {
        QStringList options = {QStringLiteral("--no-reports"), QStringLiteral("--no-inherit")};
        if (!handles[i].isEmpty())
            options << QStringLiteral("--hwnd") << handles[i];
        CDriverRun run(options);
        const QString dir = JobDir(run);
        const pid_t pid = run.PreviewPid();
        ASSERT_TRUE(WaitForWindow(pid)) << "handle " << handles[i].toStdString() << "\n"
                                        << run.Output().toStdString();
        if (i == 0) {
            for (const int fd : SocketDescriptors(pid))
                handles.append(QString::number(fd, 16));
        }
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        EXPECT_EQ(run.Finish(), 3) << run.Output().toStdString();
        EXPECT_FALSE(run.HasLine(QStringLiteral("^<- ")));
        EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")))
            << run.Output().toStdString();
        EXPECT_TRUE(run.HasLine(QStringLiteral("^left on disk: nothing$"))) << run.Output().toStdString();
    }
    EXPECT_GT(handles.size(), 1) << "the preview holds no socket of its own to be named";
}

struct GarbageCase {
    const char *name;
    QStringList options;
};
// Test names stay short in listings.
void PrintTo(const GarbageCase &c, std::ostream *out)
{
    *out << c.name;
}

class E2eGarbageTest : public E2eFixture, public ::testing::WithParamInterface<GarbageCase> {};

TEST_P(E2eGarbageTest, PreviewStaysResponsiveAndItsMemoryFlat)
{
    CDriverRun run(QStringList{QStringLiteral("--no-reports")} + GetParam().options);
    const pid_t pid = run.PreviewPid();
    QRegularExpressionMatch first, second;
    const QString done =
        QStringLiteral("^garbage round %1 done: probe answered in \\d+ ms, preview rss (\\d+) kB$");
    ASSERT_TRUE(run.WaitForLine(done.arg(1), 60000, &first)) << run.Output().toStdString();
    ASSERT_TRUE(run.WaitForLine(done.arg(2), 60000, &second)) << run.Output().toStdString();
    // The first round warms up whatever the toolkit allocates once; the second must not add to it.
    const long growthKb = second.captured(1).toLong() - first.captured(1).toLong();
    EXPECT_LT(growthKb, 1024) << "rss after round 1: " << first.captured(1).toStdString()
                              << " kB, after round 2: " << second.captured(1).toStdString() << " kB";
    // The window still answers the user.
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    EXPECT_EQ(run.Finish(), 0) << run.Output().toStdString();
    EXPECT_TRUE(run.HasLine(QStringLiteral("^preview exited with code 0$")));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, E2eGarbageTest,
    ::testing::Values(
        GarbageCase{"RandomPackets", {QStringLiteral("--garbage"), QStringLiteral("random:3000")}},
        GarbageCase{"UnknownMessages", {QStringLiteral("--garbage"), QStringLiteral("unknown:3000")}},
        GarbageCase{"FloodOfPageReports", {QStringLiteral("--garbage"), QStringLiteral("flood:10000")}},
        GarbageCase{
            "FloodOnAStream",
            {QStringLiteral("--garbage"), QStringLiteral("flood:10000"), QStringLiteral("--stream")}}),
    [](const auto &param) { return std::string(param.param.name); });

} // namespace
