// The whole road with the real programs: lp -> a private CUPS scheduler -> corvane-cups ->
// corvane-agent on the end-to-end tests' Xvfb -> corvane-preview, pressed with real input.
#include "E2eFixture.h"
#include "PrivateCups.h"

#include "app/JobSettings.h"
#include "res/Format.h"
#include "view/BmpDecoder.h"
#include "view/PageLoad.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>

namespace {

class CupsPreviewTest : public E2eFixture {
protected:
    void SetUp() override
    {
        E2eFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const CPrivateCups &cups = CPrivateCups::Instance();
        if (!cups.Missing().isEmpty())
            GTEST_SKIP() << "CUPS TESTS SKIPPED: " << cups.Missing().toStdString();
        ASSERT_TRUE(cups.Broken().isEmpty()) << cups.Broken().toStdString();
        m_pdf = cups.LabelPdf(3);
        ASSERT_FALSE(m_pdf.isEmpty());
        if (s_direct.isEmpty())
            s_direct = cups.PrintDirect(m_pdf);
        ASSERT_FALSE(s_direct.isEmpty());
        cups.ClearOutput(QStringLiteral("preview"));
        m_tempBefore = cups.TempFiles();
        m_agent.setProcessEnvironment(CXSession::Instance().Environment());
        m_agent.setProcessChannelMode(QProcess::MergedChannels);
        m_agent.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), {});
        ASSERT_TRUE(m_agent.waitForStarted(5000));
        // The agent is ready once its name is taken: a second one says so and leaves.
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired() && !AgentListens())
            QThread::msleep(50);
        ASSERT_TRUE(AgentListens()) << m_agent.readAll().toStdString();
    }

    void TearDown() override
    {
        if (m_agent.state() != QProcess::NotRunning) {
            m_agent.terminate();
            if (!m_agent.waitForFinished(10000))
                m_agent.kill();
        }
        m_log += QString::fromUtf8(m_agent.readAll());
        if (HasFailure())
            std::fprintf(stderr, "agent's log:\n%s\n", m_log.toUtf8().constData());
    }

    static bool AgentListens()
    {
        QFile table(QStringLiteral("/proc/net/unix"));
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(" @corvane-agent/0\n");
    }

    // The preview the agent started for the job, from the agent's log.
    pid_t WaitForPreview(int job)
    {
        const QRegularExpression started(QStringLiteral("job %1: preview started, pid (\\d+)").arg(job));
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            m_log += QString::fromUtf8(m_agent.readAll());
            const QRegularExpressionMatch m = started.match(m_log);
            if (m.hasMatch())
                return static_cast<pid_t>(m.captured(1).toInt());
            m_agent.waitForReadyRead(100);
        }
        return -1;
    }

    static bool WaitForExit(pid_t pid, int nMs = 15000)
    {
        QDeadlineTimer deadline(nMs);
        while (!deadline.hasExpired()) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    // Nothing of the job is left: no job folder of the agent, no spool file of the filter.
    void ExpectNothingLeft()
    {
        const QString runtime = CXSession::Instance().Environment().value(QStringLiteral("XDG_RUNTIME_DIR"));
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired() && !QDir(runtime + QStringLiteral("/corvane"))
                                              .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                              .isEmpty())
            QThread::msleep(50);
        EXPECT_EQ(QDir(runtime + QStringLiteral("/corvane")).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                  QStringList());
        EXPECT_EQ(CPrivateCups::Instance().TempFiles(), m_tempBefore);
        const QString state = CPrivateCups::Instance().QueueState(QStringLiteral("preview"));
        EXPECT_TRUE(state.contains(QStringLiteral("is idle.  enabled"))) << state.toStdString();
    }

    static inline QByteArray s_direct;
    QString m_pdf;
    QStringList m_tempBefore;
    QProcess m_agent;
    QString m_log;
};

QString PagePane(int page, int count)
{
    return FormatResString(IDS_PANE_PAGE_FORMAT, {LoadResString(ID_INDICATOR_PAGE), page, count});
}

// Print in the preview: every page came before the count shows 1/3, and the device gets the direct
// queue's bytes.
TEST_F(CupsPreviewTest, PrintGivesTheDirectQueuesBytes)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    const int job = cups.Submit(QStringLiteral("preview"), m_pdf);
    ASSERT_NE(job, 0);
    const pid_t pid = WaitForPreview(job);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForWindow(pid));
    EXPECT_EQ(WaitForPagePane(pid, PagePane(1, 3), 30000), QStringLiteral("表示ページ : 1/3"));
    ASSERT_TRUE(ClickCommand(pid, ID_FILE_PRINT));
    EXPECT_EQ(cups.WaitForJobEnd(job), QStringLiteral("completed"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")) == s_direct)
        << cups.Output(QStringLiteral("preview")).size() << " bytes, the direct queue's " << s_direct.size();
    EXPECT_TRUE(WaitForExit(pid));
    ExpectNothingLeft();
}

// Cancel, and Yes to the question: nothing printed, the job completes with the message.
TEST_F(CupsPreviewTest, CancelInThePreview)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    const int job = cups.Submit(QStringLiteral("preview"), m_pdf);
    const pid_t pid = WaitForPreview(job);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_TRUE(ClickCommand(pid, ID_APP_EXIT));
    ASSERT_TRUE(AnswerYes(pid, LoadResString(IDS_CONFIRM_CANCEL))) << Dump(pid);
    EXPECT_EQ(cups.WaitForJobEnd(job), QStringLiteral("completed"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")).isEmpty());
    EXPECT_EQ(cups.JobStatus(job), QStringLiteral("Cancelled in the preview: nothing was printed."));
    EXPECT_TRUE(WaitForExit(pid));
    ExpectNothingLeft();
}

// `cancel` while the preview is open: the preview closes, nothing printed, nothing left.
TEST_F(CupsPreviewTest, CancelCommandClosesThePreview)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    const int job = cups.Submit(QStringLiteral("preview"), m_pdf);
    const pid_t pid = WaitForPreview(job);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForWindow(pid));
    EXPECT_EQ(cups.Client(QStringLiteral("cancel"), {QString::number(job)}), 0);
    EXPECT_TRUE(WaitForExit(pid)) << "the preview is still open";
    EXPECT_EQ(cups.WaitForJobEnd(job), QStringLiteral("canceled"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")).isEmpty());
    ExpectNothingLeft();
}

// The dots a page bitmap has ink on (darker than mid grey), as a rectangle.
QRect InkBox(const CBmpBitmap &bitmap)
{
    QRect ink;
    for (int y = 0; y < bitmap.nHeight; ++y) {
        const uchar *row = bitmap.Row(y);
        for (int x = 0; x < bitmap.nWidth; ++x) {
            const QRgb rgb = bitmap.nBits == 1   ? bitmap.palette[(row[x / 8] >> (7 - x % 8)) & 1]
                             : bitmap.nBits == 8 ? bitmap.palette[row[x]]
                                                 : qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            if (qGray(rgb) < 128)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

// printer-driver-dymo's LabelManager 450 rasterizes only the printable area of its 12 mm tape: the
// preview shows the whole 89 mm label with that area at its place (the document's border lands at
// the driver's margins), and the job file, the page and the length pane agree on every page.
TEST_F(CupsPreviewTest, ATapePrintersPageIsTheWholeLabel)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    const QString dir = cups.Dir();
    QString output;
    ASSERT_EQ(cups.Client(QStringLiteral("lpadmin"),
                          {QStringLiteral("-p"), QStringLiteral("lm450"), QStringLiteral("-E"),
                           QStringLiteral("-v"), QStringLiteral("file://%1/out/lm450.prn").arg(dir),
                           QStringLiteral("-m"), QStringLiteral("dymo:0/cups/model/lm450.ppd")},
                          &output),
              0)
        << output.toStdString();
    const QString ppd = dir + QStringLiteral("/lm450-preview.ppd");
    QProcess tool;
    tool.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-ppd"),
               {dir + QStringLiteral("/ppd/lm450.ppd"), QStringLiteral("-o"), ppd});
    ASSERT_TRUE(tool.waitForFinished(10000) && tool.exitCode() == 0)
        << tool.readAllStandardError().toStdString();
    ASSERT_EQ(cups.Client(QStringLiteral("lpadmin"),
                          {QStringLiteral("-p"), QStringLiteral("lm450-preview"), QStringLiteral("-E"),
                           QStringLiteral("-v"), QStringLiteral("file://%1/out/lm450-preview.prn").arg(dir),
                           QStringLiteral("-P"), ppd},
                          &output),
              0)
        << output.toStdString();

    // Two labels of 35 x 252 points, each with a border of one dot just inside the printable area the
    // driver gives its 12 mm label (*ImageableArea w35h252.1: 2.8 30 31.6 222).
    QFile ps(dir + QStringLiteral("/border.ps"));
    ASSERT_TRUE(ps.open(QIODevice::WriteOnly));
    ps.write("%!PS\n0 setlinewidth\n1 1 2 { pop 3.0 30.2 28.4 191.6 rectstroke showpage } for\n");
    ps.close();
    const QString pdf = dir + QStringLiteral("/border.pdf");
    QProcess gs;
    gs.start(QStringLiteral("gs"),
             {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
              QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-dDEVICEWIDTHPOINTS=35"),
              QStringLiteral("-dDEVICEHEIGHTPOINTS=252"), QStringLiteral("-sOutputFile=") + pdf,
              ps.fileName()});
    ASSERT_TRUE(gs.waitForFinished(30000) && gs.exitCode() == 0) << gs.readAllStandardError().toStdString();

    const int job = cups.Submit(QStringLiteral("lm450-preview"), pdf, {QStringLiteral("PageSize=w35h252.1")});
    ASSERT_NE(job, 0);
    const pid_t pid = WaitForPreview(job);
    ASSERT_GT(pid, 0) << cups.JobStatus(job).toStdString();
    ASSERT_TRUE(WaitForWindow(pid));
    ASSERT_EQ(WaitForPagePane(pid, PagePane(1, 2), 30000), PagePane(1, 2));

    const QString runtime = CXSession::Instance().Environment().value(QStringLiteral("XDG_RUNTIME_DIR"));
    const QStringList folders =
        QDir(runtime + QStringLiteral("/corvane")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(folders.size(), 1);
    const QString folder = runtime + QStringLiteral("/corvane/") + folders.first() + u'/';
    CJobSettings settings;
    ASSERT_EQ(settings.ReadJobFile(folder + QStringLiteral("job.ini")), 0);
    EXPECT_EQ(settings.m_strTapeWidth, QStringLiteral("12mm"));
    EXPECT_EQ(settings.m_strTapeLength, QStringLiteral("89mm"));
    const int dpi = settings.m_nDpi;
    ASSERT_GT(dpi, 0);
    // Dots from the label's top left corner: points x dpi / 72; the area's top is 252 - 222 points down.
    auto dots = [dpi](double points) { return qRound(points * dpi / 72); };
    const QRect area(QPoint(dots(2.8), dots(252 - 222)), QPoint(dots(31.6) - 1, dots(252 - 30) - 1));
    for (int page = 1; page <= 2; ++page) {
        CBmpBitmap bitmap;
        ASSERT_EQ(
            ReadBmpFile(folder + QStringLiteral("page_%1.bmp").arg(page, 5, 10, QLatin1Char('0')), bitmap),
            BMP_OK);
        // The whole label, as the preview measures it.
        EXPECT_EQ(TapeLengthMm(bitmap.nWidth, dpi), settings.m_nTapeWidthMm) << bitmap.nWidth << " dots";
        EXPECT_EQ(TapeLengthMm(bitmap.nHeight, dpi), settings.m_nTapeLengthMm) << bitmap.nHeight << " dots";
        const QRect ink = InkBox(bitmap);
        for (const auto &[got, want] :
             {std::pair{ink.left(), area.left()}, std::pair{ink.top(), area.top()},
              std::pair{ink.right(), area.right()}, std::pair{ink.bottom(), area.bottom()}})
            EXPECT_LE(std::abs(got - want), 2)
                << "page " << page << ": the border at " << got << ", not " << want;
    }

    // The length pane reads the label's length on each page, and again after paging back.
    const QString label = LoadResString(ID_INDICATOR_TAPELENGTH);
    auto lengthPane = [&] {
        AccessibleNode node;
        m_atspi->WaitFor(
            pid, [&](const AccessibleNode &n) { return n.name.startsWith(label); }, node, 5000);
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+) ?mm$")).match(node.name);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    EXPECT_EQ(lengthPane(), 89);
    ASSERT_TRUE(ClickCommand(pid, ID_PAGE_NEXT));
    EXPECT_EQ(WaitForPagePane(pid, PagePane(2, 2)), PagePane(2, 2));
    EXPECT_EQ(lengthPane(), 89);
    ASSERT_TRUE(ClickCommand(pid, ID_PAGE_PREV));
    EXPECT_EQ(WaitForPagePane(pid, PagePane(1, 2)), PagePane(1, 2));
    EXPECT_EQ(lengthPane(), 89);

    EXPECT_EQ(cups.Client(QStringLiteral("cancel"), {QString::number(job)}), 0);
    EXPECT_TRUE(WaitForExit(pid)) << "the preview is still open";
    ExpectNothingLeft();
}

// The agent killed while its preview is open: the preview ends with it (no window is left that could
// claim to print), the job ends unprinted, and the next agent removes the folder the killed one left.
TEST_F(CupsPreviewTest, AKilledAgentsPreviewEndsWithIt)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    const int job = cups.Submit(QStringLiteral("preview"), m_pdf);
    const pid_t pid = WaitForPreview(job);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForWindow(pid));
    ::kill(static_cast<pid_t>(m_agent.processId()), SIGKILL);
    ASSERT_TRUE(m_agent.waitForFinished(10000));
    EXPECT_TRUE(WaitForExit(pid)) << "the preview outlives its agent";
    EXPECT_EQ(cups.WaitForJobEnd(job), QStringLiteral("completed"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")).isEmpty());
    EXPECT_EQ(cups.JobStatus(job),
              QStringLiteral("The preview closed without a decision: nothing was printed."));
    m_agent.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), {});
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !AgentListens())
        QThread::msleep(50);
    ExpectNothingLeft();
}

// A runtime folder without room for the pages: the job cannot be shown, which is no decision of the
// user's; the queue's policy (Print) prints the direct queue's bytes, and the job's message names
// the cause.
TEST_F(CupsPreviewTest, AJobThatCannotBeShownFollowsThePolicy)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a small tmpfs needs root";
    QTemporaryDir base;
    const QString small = base.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(small));
    // A mount namespace of this test process and its children keeps the tmpfs off the machine.
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(::mount("tmpfs", small.toUtf8().constData(), "tmpfs", 0, "size=8k,mode=0700"), 0);
    m_agent.terminate();
    ASSERT_TRUE(m_agent.waitForFinished(10000));
    m_log += QString::fromUtf8(m_agent.readAll());
    QProcessEnvironment env = CXSession::Instance().Environment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), small);
    m_agent.setProcessEnvironment(env);
    m_agent.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent"), {});
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !AgentListens())
        QThread::msleep(50);

    const CPrivateCups &cups = CPrivateCups::Instance();
    const int job = cups.Submit(QStringLiteral("preview"), m_pdf);
    ASSERT_NE(job, 0);
    EXPECT_EQ(cups.WaitForJobEnd(job), QStringLiteral("completed"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")) == s_direct)
        << cups.Output(QStringLiteral("preview")).size() << " bytes, the direct queue's " << s_direct.size();
    const QString status = cups.JobStatus(job);
    EXPECT_TRUE(
        status.startsWith(QStringLiteral("Printed without preview: the preview agent gave the job up: ")))
        << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("No space left on device"))) << status.toStdString();
    m_agent.terminate();
    m_agent.waitForFinished(10000);
    ::umount(small.toUtf8().constData());
}

// Print from the keyboard right after the window appears: the window the agent opens has the keyboard
// focus, so Ctrl+P one second after it is mapped prints, job after job.
TEST_F(CupsPreviewTest, CtrlPRightAfterTheWindowAppearsPrints)
{
    if (!CXSession::Instance().HasWindowManager())
        GTEST_SKIP() << "needs openbox";
    const CPrivateCups &cups = CPrivateCups::Instance();
    for (int i = 1; i <= 10; ++i) {
        SCOPED_TRACE(i);
        cups.ClearOutput(QStringLiteral("preview"));
        const int job = cups.Submit(QStringLiteral("preview"), m_pdf);
        const pid_t pid = WaitForPreview(job);
        ASSERT_GT(pid, 0);
        // The user works on meanwhile: a click on the desktop while the preview starts.
        RunInSession(QStringLiteral("xdotool"),
                     {QStringLiteral("mousemove"), QStringLiteral("1270"), QStringLiteral("1010"),
                      QStringLiteral("click"), QStringLiteral("1")});
        QString window, focused;
        ASSERT_EQ(
            RunInSession(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--pid"), QString::number(pid)},
                         &window),
            0);
        QThread::msleep(1000);
        RunInSession(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")}, &focused);
        EXPECT_TRUE(window.contains(focused.trimmed()))
            << "mapped " << window.toStdString() << ", focus on " << focused.toStdString();
        ASSERT_EQ(RunInSession(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+p")}),
                  0);
        EXPECT_EQ(cups.WaitForJobEnd(job), QStringLiteral("completed"));
        EXPECT_TRUE(cups.Output(QStringLiteral("preview")) == s_direct) << "job " << job << " did not print";
        ASSERT_TRUE(WaitForExit(pid));
    }
    ExpectNothingLeft();
}

} // namespace
