// corvane-cups in a real CUPS scheduler, before the real agent: jobs printed by lp to the preview
// queue, compared with the same jobs on the direct queue; the agent's side is played by CFakeAgent.
#include "FakeAgent.h"
#include "PrivateCups.h"

#include "cups/Rendezvous.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <cups/raster.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

class CupsFilterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        if (!cups.Missing().isEmpty() || !cups.Broken().isEmpty())
            return;
        // A 3-page PDF on the label's page size, and what the direct queue prints of it.
        s_pdf = cups.LabelPdf(3);
        s_direct = cups.PrintDirect(s_pdf);
    }

    void SetUp() override
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        if (!cups.Missing().isEmpty())
            GTEST_SKIP() << "CUPS TESTS SKIPPED: " << cups.Missing().toStdString();
        ASSERT_TRUE(cups.Broken().isEmpty()) << cups.Broken().toStdString();
        ASSERT_FALSE(s_direct.isEmpty()) << "the direct queue printed nothing of " << s_pdf.toStdString();
        cups.ClearOutput(QStringLiteral("preview"));
        m_tempBefore = cups.TempFiles();
    }

    // Prints on the preview queue; the job's end state.
    QString PrintPreview(const QString &file, const QStringList &options = {})
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        m_job = cups.Submit(QStringLiteral("preview"), file, options);
        if (m_job == 0)
            return QStringLiteral("not submitted");
        return cups.WaitForJobEnd(m_job);
    }

    // The queue is enabled, idle and accepting, and no file of the job is left.
    void ExpectQueueReady()
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        EXPECT_TRUE(cups.QueueState(QStringLiteral("preview")).contains(QStringLiteral("is idle.  enabled")))
            << cups.QueueState(QStringLiteral("preview")).toStdString();
        EXPECT_EQ(cups.TempFiles(), m_tempBefore);
    }

    QString LogLines(const QString &marker) const
    {
        QString lines;
        const QStringList all = CPrivateCups::Instance().ErrorLog().split(QLatin1Char('\n'));
        for (const QString &line : all) {
            if (line.contains(QStringLiteral("[Job %1] ").arg(m_job)) && line.contains(marker))
                lines += line + QLatin1Char('\n');
        }
        return lines;
    }

    static QString s_pdf;
    static QByteArray s_direct;
    QStringList m_tempBefore;
    int m_job = 0;
};

QString CupsFilterTest::s_pdf;
QByteArray CupsFilterTest::s_direct;

// A raster file of one page; tweak changes the header before it is written; rows is how many of
// the page's rows are written (the rest missing: a truncated raster), -1 all, -2 none and no raster.
QString WriteRaster(const QString &path, void (*tweak)(cups_page_header2_t &), int rows = -1)
{
    cups_page_header2_t h{};
    h.cupsWidth = 240;
    h.cupsHeight = 600;
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.PageSize[0] = 58;
    h.PageSize[1] = 144;
    h.cupsPageSize[0] = 57.6f;
    h.cupsPageSize[1] = 144.0f;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 8;
    h.cupsColorSpace = CUPS_CSPACE_K;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.NumCopies = 1;
    if (tweak != nullptr)
        tweak(h);
    h.cupsBytesPerLine = (h.cupsWidth * h.cupsBitsPerPixel + 7) / 8;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (rows == -2) {
        // No raster at all: text where the sync word should be.
        static_cast<void>(::write(fd, "%!PS-Adobe\nshowpage\n", 20));
        ::close(fd);
        return path;
    }
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    cupsRasterWriteHeader2(raster, &h);
    std::vector<unsigned char> row(std::min<unsigned>(h.cupsBytesPerLine, 1u << 20));
    const unsigned count = rows < 0 ? std::min<unsigned>(h.cupsHeight, 4096) : static_cast<unsigned>(rows);
    for (unsigned y = 0; y < count; ++y) {
        for (size_t x = 0; x < row.size(); ++x)
            row[x] = static_cast<unsigned char>((x + y) % 7 == 0 ? 255 : 0);
        cupsRasterWritePixels(raster, row.data(), static_cast<unsigned>(row.size()));
    }
    cupsRasterClose(raster);
    ::close(fd);
    return path;
}

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
    ExpectQueueReady();
}

INSTANTIATE_TEST_SUITE_P(Policies, CupsPolicyTest,
                         ::testing::Values(PolicyCase{"QueueDefaultPrint", nullptr, nullptr, true,
                                                      "the queue's default is CorvaneWithoutSession=Print"},
                                           PolicyCase{"JobDrop", nullptr, "Drop", false,
                                                      "the job's options say CorvaneWithoutSession=Drop"},
                                           PolicyCase{"QueueDropJobPrint", "Drop", "Print", true,
                                                      "the job's options say CorvaneWithoutSession=Print"},
                                           PolicyCase{"QueueDrop", "Drop", nullptr, false,
                                                      "the queue's default is CorvaneWithoutSession=Drop"}),
                         [](const ::testing::TestParamInfo<PolicyCase> &param) {
                             return std::string(param.param.name);
                         });

// The agent decides: every page arrives whole before the decision; Print gives the direct queue's
// bytes; Cancel and an ended preview print nothing and say so; a refusal falls back on the policy.
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
                                   "Printed without preview: the preview agent refused the job"}),
    [](const ::testing::TestParamInfo<DecisionCase> &param) { return std::string(param.param.name); });

// `cancel` while the preview is open: the filter closes the connection (the agent closes the
// preview), nothing is printed, nothing is left.
TEST_F(CupsFilterTest, CancelWhilePreviewOpen)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    CFakeAgent agent(CFakeAgent::Answer::Hold);
    m_job = cups.Submit(QStringLiteral("preview"), s_pdf);
    ASSERT_TRUE(agent.WaitFor([](const CFakeAgent::Seen &s) { return s.endCount >= 0; }));
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
        static_cast<void>(::write(ready[1], fd >= 0 ? "y" : "n", 1));
        pollfd p{fd, POLLIN, 0};
        for (;;) {
            if (::poll(&p, 1, -1) > 0)
                ::close(::accept(fd, nullptr, nullptr));
        }
    }
    char ok = 0;
    static_cast<void>(::read(ready[0], &ok, 1));
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(ok, 'y');
    EXPECT_EQ(PrintPreview(s_pdf), QStringLiteral("completed"));
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
    EXPECT_TRUE(CPrivateCups::Instance().Output(QStringLiteral("preview")) == s_direct);
    const QString status = CPrivateCups::Instance().JobStatus(m_job);
    EXPECT_TRUE(
        status.contains(QStringLiteral("runs as uid %1, not as the job's user (uid 0)").arg(nobody->pw_uid)))
        << status.toStdString();
    ExpectQueueReady();
}

// Raster the preview cannot take: damaged raster is an error in the job's log and nothing printed;
// a colour space it cannot show is printed without preview by the queue's policy, exactly as the
// direct queue prints it. The job completes and the queue goes on either way.
struct RasterCase {
    const char *name;
    void (*tweak)(cups_page_header2_t &);
    int rows;
    const char *status;
};

void PrintTo(const RasterCase &c, std::ostream *os)
{
    *os << c.name;
}

class CupsRasterTest : public CupsFilterTest, public ::testing::WithParamInterface<RasterCase> {};

TEST_P(CupsRasterTest, ClearEnd)
{
    const RasterCase &c = GetParam();
    const CPrivateCups &cups = CPrivateCups::Instance();
    const QString file =
        WriteRaster(cups.Dir() + QStringLiteral("/%1.ras").arg(QLatin1String(c.name)), c.tweak, c.rows);
    CFakeAgent agent(CFakeAgent::Answer::Print);
    EXPECT_EQ(PrintPreview(file, {QStringLiteral("document-format=application/vnd.cups-raster")}),
              QStringLiteral("completed"));
    const QString status = cups.JobStatus(m_job);
    EXPECT_TRUE(status.startsWith(QLatin1String(c.status))) << status.toStdString();
    const bool printable = QByteArray(c.status).startsWith("Printed");
    if (printable)
        EXPECT_TRUE(cups.Output(QStringLiteral("preview")) == cups.PrintDirect(file));
    else
        EXPECT_TRUE(cups.Output(QStringLiteral("preview")).isEmpty());
    EXPECT_FALSE(LogLines(printable ? QStringLiteral("W [") : QStringLiteral("E [")).isEmpty());
    const CFakeAgent::Seen seen = agent.Snapshot();
    EXPECT_EQ(seen.endCount, -1) << "a damaged or unshowable job was completed for the preview";
    if (seen.connected) {
        EXPECT_TRUE(seen.closedByFilter);
    }
    ExpectQueueReady();
}

INSTANTIATE_TEST_SUITE_P(
    Raster, CupsRasterTest,
    ::testing::Values(
        RasterCase{"Truncated", nullptr, 300,
                   "The job's raster is damaged, nothing was printed: page 1 ends after"},
        RasterCase{"Wide",
                   [](cups_page_header2_t &h) {
                       h.cupsWidth = 1u << 21;
                       h.cupsHeight = 2;
                   },
                   0, "The job's raster is damaged, nothing was printed: page 1: 2097152 x 2 dots"},
        RasterCase{"NoResolution", [](cups_page_header2_t &h) { h.HWResolution[0] = 0; }, -1,
                   "The job's raster is damaged, nothing was printed: page 1: a resolution of 0 x 300 dpi"},
        RasterCase{"NotRaster", [](cups_page_header2_t &h) { h.cupsWidth = 0; }, -2,
                   "The job's raster is damaged, nothing was printed: the input does not start as CUPS or "
                   "PWG raster"},
        RasterCase{"CIELab",
                   [](cups_page_header2_t &h) {
                       h.cupsColorSpace = CUPS_CSPACE_CIELab;
                       h.cupsBitsPerPixel = 24;
                   },
                   -1, "Printed without preview: page 1: colour space 16 cannot be shown"}),
    [](const ::testing::TestParamInfo<RasterCase> &param) { return std::string(param.param.name); });

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

// corvane-cups killed in the middle of a page: the scheduler deals with the crashed filter, the queue
// stays enabled, nothing is printed and no spool file is left (it never had a name).
TEST_F(CupsFilterTest, KilledInPage)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    const QString file = WriteRaster(cups.Dir() + QStringLiteral("/large.ras"), [](cups_page_header2_t &h) {
        h.cupsWidth = 2400;
        h.cupsHeight = 4000;
        h.PageSize[0] = 576;
        h.PageSize[1] = 960;
        h.cupsPageSize[0] = 576;
        h.cupsPageSize[1] = 960;
    });
    CFakeAgent agent(CFakeAgent::Answer::StallInPage);
    m_job = cups.Submit(QStringLiteral("preview"), file);
    ASSERT_TRUE(agent.WaitFor(
        [](const CFakeAgent::Seen &s) { return !s.pageBytes.isEmpty() && s.pageBytes[0] > 0; }));
    const pid_t filter = agent.Snapshot().filterPid;
    ASSERT_GT(filter, 0);
    ASSERT_EQ(::kill(filter, SIGKILL), 0);
    EXPECT_TRUE(agent.WaitFor([](const CFakeAgent::Seen &s) { return s.closedByFilter; }, 10000));
    // CUPS counts a filter's end by SIGKILL as normal; the job must not stay stopped or processing.
    EXPECT_EQ(cups.WaitForJobEnd(m_job), QStringLiteral("completed"));
    EXPECT_TRUE(cups.Output(QStringLiteral("preview")).isEmpty());
    cups.Client(QStringLiteral("cancel"), {QString::number(m_job)});
    ExpectQueueReady();
}

} // namespace
