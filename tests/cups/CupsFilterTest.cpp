// corvane-cups in a real CUPS scheduler: the policies without an agent, the agent's decisions, CUPS's
// cancel, a squatter on the agent's name and a Qt application's job.
#include "CupsFilterFixture.h"

#include "cups/Rendezvous.h"

#include <QProcess>
#include <QRect>
#include <QThread>

#include <csignal>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct PolicyCase {
    const char *name;
    const char *queueDefault; // CorvaneWithoutSession-default of the queue, nullptr to keep Print
    const char *jobOption;    // -o CorvaneWithoutSession=..., nullptr for none
    bool printed;
    const char *because;
};

void PrintTo(const PolicyCase &c, std::ostream *os)
{
    *os << c.name;
}

class CupsPolicyTest : public CupsFilterTest, public ::testing::WithParamInterface<PolicyCase> {};

// No agent listens: the queue's policy, or the job's, decides, and the job's status says which.
TEST_P(CupsPolicyTest, WithoutAgent)
{
    const PolicyCase &c = GetParam();
    const CPrivateCups &cups = CPrivateCups::Instance();
    if (c.queueDefault != nullptr)
        cups.Client(QStringLiteral("lpadmin"),
                    {QStringLiteral("-p"), QStringLiteral("preview"), QStringLiteral("-o"),
                     QStringLiteral("CorvaneWithoutSession=") + QLatin1String(c.queueDefault)});
    QStringList options;
    if (c.jobOption != nullptr)
        options << QStringLiteral("CorvaneWithoutSession=") + QLatin1String(c.jobOption);
    EXPECT_EQ(PrintPreview(s_pdf, options), QStringLiteral("completed"));
    if (c.queueDefault != nullptr)
        cups.Client(QStringLiteral("lpadmin"),
                    {QStringLiteral("-p"), QStringLiteral("preview"), QStringLiteral("-o"),
                     QStringLiteral("CorvaneWithoutSession=Print")});
    const QByteArray out = cups.Output(QStringLiteral("preview"));
    if (c.printed)
        EXPECT_TRUE(out == s_direct) << out.size() << " bytes, the direct queue's " << s_direct.size();
    else
        EXPECT_TRUE(out.isEmpty()) << out.size() << " bytes";
    const QString status = cups.JobStatus(m_job);
    EXPECT_TRUE(status.startsWith(
        c.printed ? QStringLiteral("Printed without preview: no preview agent of root")
                  : QStringLiteral("Not printed, without preview: no preview agent of root")))
        << status.toStdString();
    EXPECT_TRUE(status.contains(QLatin1String(c.because))) << status.toStdString();
    EXPECT_FALSE(LogLines(QStringLiteral("without preview")).isEmpty()) << "nothing in the error log";
    // The scheduler's log escapes quotes: the messages do without them.
    EXPECT_FALSE(LogLines(QStringLiteral("without preview")).contains(QLatin1Char('\\')));
    ExpectQueueReady();
}

INSTANTIATE_TEST_SUITE_P(
    Policies, CupsPolicyTest,
    ::testing::Values(PolicyCase{"QueueDefaultPrint", nullptr, nullptr, true,
                                 "the default of the queue is CorvaneWithoutSession=Print"},
                      PolicyCase{"JobDrop", nullptr, "Drop", false,
                                 "the options of the job say CorvaneWithoutSession=Drop"},
                      PolicyCase{"QueueDropJobPrint", "Drop", "Print", true,
                                 "the options of the job say CorvaneWithoutSession=Print"},
                      PolicyCase{"QueueDrop", "Drop", nullptr, false,
                                 "the default of the queue is CorvaneWithoutSession=Drop"}),
    [](const ::testing::TestParamInfo<PolicyCase> &param) { return std::string(param.param.name); });

// The agent decides: every page arrives whole before the decision; Print gives the direct queue's
// bytes; Cancel and an ended preview print nothing and say so; a refusal, before or after the agent
// accepted the job, falls back on the policy.
struct DecisionCase {
    const char *name;
    CFakeAgent::Answer answer;
    bool printed;
    const char *status; // the start of the job's status
};

void PrintTo(const DecisionCase &c, std::ostream *os)
{
    *os << c.name;
}

class CupsDecisionTest : public CupsFilterTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(CupsDecisionTest, FromTheAgent)
{
    const DecisionCase &c = GetParam();
    const CPrivateCups &cups = CPrivateCups::Instance();
    CFakeAgent agent(c.answer);
    ASSERT_TRUE(agent.IsListening());
    EXPECT_EQ(PrintPreview(s_pdf, {QStringLiteral("job-name='Label \"50%\"'")}), QStringLiteral("completed"));
    const CFakeAgent::Seen seen = agent.Snapshot();
    EXPECT_TRUE(seen.problem.isEmpty()) << seen.problem.toStdString();
    EXPECT_EQ(seen.job.jobId, static_cast<quint32>(m_job));
    EXPECT_EQ(seen.job.title, QByteArrayLiteral("Label \"50%\""));
    if (c.answer != CFakeAgent::Answer::Refuse) {
        EXPECT_EQ(seen.endCount, 3);
        ASSERT_EQ(seen.pages.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const agentwire::PageInfo &page = seen.pages[i];
            EXPECT_EQ(page.page, static_cast<quint32>(i + 1));
            EXPECT_EQ(page.xDpi, 300u);
            // The sample's default label, w81h252: 81 x 252 points.
            EXPECT_EQ(page.widthUm, 28575u);
            EXPECT_EQ(page.lengthUm, 88900u);
            // Its raster is the printable area, 2 14.9 79 237.1 points, 321 x 926 dots; the preview's
            // page is the whole label, 338 x 1050 dots, with the area's top left dot at 8, 62.
            EXPECT_EQ(QRect(page.left, page.top, page.width, page.height), QRect(8, 62, 321, 926));
            EXPECT_EQ(page.pageWidth, 338u);
            EXPECT_EQ(page.pageHeight, 1050u);
            EXPECT_EQ(seen.pageBytes[i], agentwire::RowBytes(page) * page.height);
        }
    }
    const QByteArray out = cups.Output(QStringLiteral("preview"));
    if (c.printed)
        EXPECT_TRUE(out == s_direct) << out.size() << " bytes, the direct queue's " << s_direct.size();
    else
        EXPECT_TRUE(out.isEmpty()) << out.size() << " bytes";
    EXPECT_TRUE(cups.JobStatus(m_job).startsWith(QLatin1String(c.status)))
        << cups.JobStatus(m_job).toStdString();
    ExpectQueueReady();
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, CupsDecisionTest,
    ::testing::Values(DecisionCase{"Print", CFakeAgent::Answer::Print, true, ""},
                      DecisionCase{"Cancel", CFakeAgent::Answer::Cancel, false, "Cancelled in the preview"},
                      DecisionCase{"PreviewEnded", CFakeAgent::Answer::None, false,
                                   "The preview closed without a decision"},
                      DecisionCase{"Refused", CFakeAgent::Answer::Refuse, true,
                                   "Printed without preview: the preview agent refused the job"},
                      // Not shown after all: no decision of the user's, so the policy decides.
                      DecisionCase{
                          "GivenUpAfterAccepting", CFakeAgent::Answer::GiveUp, true,
                          "Printed without preview: the preview agent gave the job up: no room "
                          "for the pages; the default of the queue is CorvaneWithoutSession=Print."}),
    [](const ::testing::TestParamInfo<DecisionCase> &param) { return std::string(param.param.name); });

// `cancel` while the preview is open: the queue and the job say whose preview it is; the filter closes the
// connection (the agent closes the preview), nothing is printed, nothing is left.
TEST_F(CupsFilterTest, CancelWhilePreviewOpen)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    CFakeAgent agent(CFakeAgent::Answer::Hold);
    m_job = cups.Submit(QStringLiteral("preview"), s_pdf);
    ASSERT_TRUE(agent.WaitFor([](const CFakeAgent::Seen &s) { return s.endCount >= 0; }));
    // While it is open, the queue and the job say whose preview holds them.
    const QString waiting = QStringLiteral("Job %1 is open in the preview of root;").arg(m_job);
    QString queueState, jobStatus;
    for (int i = 0; i < 100 && !(queueState.contains(waiting) && jobStatus.contains(waiting)); ++i) {
        QThread::msleep(50);
        queueState = cups.QueueState(QStringLiteral("preview"));
        jobStatus = cups.JobStatus(m_job);
    }
    EXPECT_TRUE(queueState.contains(waiting)) << queueState.toStdString();
    EXPECT_TRUE(jobStatus.contains(waiting)) << jobStatus.toStdString();
    EXPECT_EQ(cups.Client(QStringLiteral("cancel"), {QString::number(m_job)}), 0);
    EXPECT_TRUE(agent.WaitFor([](const CFakeAgent::Seen &s) { return s.closedByFilter; }, 10000));
    EXPECT_EQ(cups.WaitForJobEnd(m_job), QStringLiteral("canceled"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")).isEmpty());
    ExpectQueueReady();
}

// A listener of another uid on the agent's name of the job's user: refused, logged, the policy applies.
TEST_F(CupsFilterTest, SquatterOfAnotherUidRefused)
{
    const passwd *nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        // As nobody: takes root's agent name and accepts whoever comes.
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            ::_exit(2);
        const int fd = rendezvous::Listen(0, nullptr);
        if (::write(ready[1], fd >= 0 ? "y" : "n", 1) != 1)
            ::_exit(3);
        pollfd p{fd, POLLIN, 0};
        for (;;) {
            if (::poll(&p, 1, -1) > 0)
                ::close(::accept(fd, nullptr, nullptr));
        }
    }
    char ok = 0;
    if (::read(ready[0], &ok, 1) != 1)
        ok = 0;
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(ok, 'y');
    EXPECT_EQ(PrintPreview(s_pdf), QStringLiteral("completed"));
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
    EXPECT_TRUE(CPrivateCups::Instance().Output(QStringLiteral("preview")) == s_direct);
    const QString status = CPrivateCups::Instance().JobStatus(m_job);
    EXPECT_TRUE(status.contains(
        QStringLiteral("runs as uid %1, not as the user of the job (uid 0)").arg(nobody->pw_uid)))
        << status.toStdString();
    ExpectQueueReady();
}

// A Qt application printing through QPrinter to the preview queue: its pages reach the agent and,
// printed, the device.
TEST_F(CupsFilterTest, QtApplicationPrints)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    CFakeAgent agent(CFakeAgent::Answer::Print);
    QString output;
    QProcess qt;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), cups.Dir() + QStringLiteral("/cups.sock"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    qt.setProcessEnvironment(env);
    qt.setProcessChannelMode(QProcess::MergedChannels);
    qt.start(QStringLiteral(CORVANE_QT_PRINT_JOB), {QStringLiteral("preview"), QStringLiteral("2")});
    ASSERT_TRUE(qt.waitForFinished(60000));
    ASSERT_EQ(qt.exitCode(), 0) << qt.readAll().toStdString();
    ASSERT_TRUE(agent.WaitFor([](const CFakeAgent::Seen &s) { return s.endCount >= 0; }));
    m_job = static_cast<int>(agent.Snapshot().job.jobId);
    EXPECT_EQ(cups.WaitForJobEnd(m_job), QStringLiteral("completed"));
    const CFakeAgent::Seen seen = agent.Snapshot();
    EXPECT_TRUE(seen.problem.isEmpty()) << seen.problem.toStdString();
    EXPECT_EQ(seen.job.title, QByteArrayLiteral("Qt label"));
    EXPECT_EQ(seen.endCount, 2);
    ASSERT_EQ(seen.pages.size(), 2);
    EXPECT_EQ(seen.pageBytes[1], agentwire::RowBytes(seen.pages[1]) * seen.pages[1].height);
    EXPECT_FALSE(cups.Output(QStringLiteral("preview")).isEmpty());
    ExpectQueueReady();
}

} // namespace
