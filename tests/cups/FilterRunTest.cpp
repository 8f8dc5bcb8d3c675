// corvane-cups's work as a function, run in this process as any user: the scheduler's arguments, the
// printer's filter a PPD and an input choose, and whole runs over pipes with a stand-in agent under the
// test's own uid, each decision and each policy (the printer's data and the job's log lines).
#include "filter/FilterRun.h"
#include "FakeAgent.h"
#include "log/Log.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cups/raster.h>
#include <pwd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

QByteArray Ppd(const QByteArray &filters, const char *policy)
{
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageVersion: English\n"
           "*LanguageEncoding: ISOLatin1\n*ModelName: \"Test\"\n*NickName: \"Test\"\n" +
           filters +
           "*OpenUI *CorvaneWithoutSession/Without preview: PickOne\n*DefaultCorvaneWithoutSession: " +
           policy +
           "\n*CorvaneWithoutSession Print/Print: \"\"\n*CorvaneWithoutSession Drop/Drop: \"\"\n"
           "*CloseUI: *CorvaneWithoutSession\n";
}

QByteArray ReadAll(int fd)
{
    QByteArray all;
    char buffer[4096];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        all.append(buffer, n);
    return all;
}

// Two one-bit pages of 40 x 12 dots at 300 dpi, each row a different pattern.
QByteArray Raster()
{
    const int fd = ::memfd_create("raster", MFD_CLOEXEC);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    cups_page_header2_t h{};
    h.cupsWidth = 40;
    h.cupsHeight = 12;
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
    h.cupsColorSpace = CUPS_CSPACE_K;
    h.cupsBytesPerLine = 5;
    h.NumCopies = 1;
    for (unsigned char page = 0; page < 2; ++page) {
        cupsRasterWriteHeader2(raster, &h);
        for (unsigned char y = 0; y < 12; ++y) {
            unsigned char row[5] = {y, page, 0xa5, y, 0x0f};
            cupsRasterWritePixels(raster, row, sizeof row);
        }
    }
    cupsRasterClose(raster);
    const QByteArray bytes = ReadAll(fd);
    ::close(fd);
    return bytes;
}

TEST(FilterArguments, CommandLines)
{
    struct Case {
        std::vector<const char *> argv;
        bool ok;
        quint32 copies;
        const char *file;
    } cases[] = {
        {{"corvane-cups", "12", "alice", "Title", "3", ""}, true, 3, ""},
        {{"corvane-cups", "12", "alice", "Title", "0", "", "/var/spool/d12"}, true, 1, "/var/spool/d12"},
        {{"corvane-cups", "12", "alice", "Title", "x", ""}, true, 1, ""},
        {{"corvane-cups", "twelve", "alice", "Title", "1", ""}, false, 0, ""},
        {{"corvane-cups", "12", "alice", "Title", "1"}, false, 0, ""},
        {{"corvane-cups", "12", "alice", "Title", "1", "", "f", "g"}, false, 0, ""},
    };
    for (Case &c : cases) {
        CFilterJob job;
        QString why;
        const bool ok = job.ParseArguments(int(c.argv.size()), const_cast<char **>(c.argv.data()), &why);
        EXPECT_EQ(ok, c.ok) << c.argv[1] << " " << c.argv.size();
        EXPECT_EQ(why.isEmpty(), c.ok);
        if (ok) {
            EXPECT_EQ(job.Copies(), c.copies);
            EXPECT_EQ(job.File(), QByteArray(c.file));
        }
    }
}

TEST(FilterQueue, PrinterProgramByPpdAndInput)
{
    using inputkind::Kind;
    const QByteArray raster = "*CorvaneFilter: \"application/vnd.cups-raster 50 rastertolabel\"\n";
    const QByteArray pdf =
        "*CorvaneFilter: \"application/pdf application/vnd.cups-raster 10 /opt/f/pdfto\"\n";
    struct Case {
        QByteArray filters;
        Kind kind;
        const char *program; // empty: the queue is refused
        bool document;
    } cases[] = {
        {raster, Kind::Raster, "/srv/cups/filter/rastertolabel", false},
        {raster, Kind::Pdf, "/srv/cups/filter/rastertolabel", false},
        {raster + pdf, Kind::Pdf, "/opt/f/pdfto", true},
        {pdf + raster, Kind::Raster, "/srv/cups/filter/rastertolabel", false},
        {pdf + raster, Kind::Unknown, "/opt/f/pdfto", true},
        {"*CorvaneFilter: \"application/vnd.cups-postscript 0 -\"\n", Kind::PostScript, "-", true},
        {"*CorvaneFilter: \"application/vnd.cups-raster 0 ../rastertolabel\"\n", Kind::Raster, "", false},
        {"", Kind::Raster, "", false},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        QFile ppd(dir.filePath(QStringLiteral("q.ppd")));
        ASSERT_TRUE(ppd.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ppd.write(Ppd(c.filters, "Print"));
        ppd.close();
        const char *argv[] = {"corvane-cups", "1", "alice", "t", "1", ""};
        CFilterJob job;
        QString why;
        QStringList notes;
        ASSERT_TRUE(job.ParseArguments(6, const_cast<char **>(argv), &why));
        FilterEnvironment environment{QFile::encodeName(ppd.fileName()), "/srv/cups", "/tmp"};
        const bool ok = job.ReadQueue(environment, &notes, &why);
        EXPECT_EQ(ok, *c.program != '\0') << c.filters.constData() << qPrintable(why);
        if (ok) {
            EXPECT_EQ(job.ChooseFilter(c.kind), c.document) << c.filters.constData();
            EXPECT_EQ(job.PrinterFilter(), QByteArray(c.program)) << c.filters.constData();
        }
    }
}

enum class Agent { None, Print, Cancel, NoDecision, Refuse, GiveUp };

struct RunCase {
    const char *name;
    Agent agent;
    const char *policy;  // the PPD's default
    const char *options; // the job's options
    bool garbage;        // the input is no raster
    bool printed;        // the printer gets the raster, byte for byte; otherwise nothing
    int exitCode;
    const char *line; // a line of the job's log
};

void PrintTo(const RunCase &c, std::ostream *os)
{
    *os << c.name;
}

class FilterRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(FilterRunTest, DecisionsAndPolicies)
{
    const RunCase &c = GetParam();
    const QByteArray user = ::getpwuid(::getuid())->pw_name;
    QTemporaryDir dir;
    QFile ppd(dir.filePath(QStringLiteral("q.ppd")));
    ASSERT_TRUE(ppd.open(QIODevice::WriteOnly));
    ppd.write(Ppd("*CorvaneFilter: \"application/vnd.cups-raster 0 -\"\n", c.policy));
    ppd.close();

    const QByteArray name = "corvane-test/" + QByteArray::number(::getpid()) + '/' + c.name;
    const CFakeAgent::Answer answers[] = {CFakeAgent::Answer::Print,  CFakeAgent::Answer::Print,
                                          CFakeAgent::Answer::Cancel, CFakeAgent::Answer::None,
                                          CFakeAgent::Answer::Refuse, CFakeAgent::Answer::GiveUp};
    std::unique_ptr<CFakeAgent> agent;
    if (c.agent != Agent::None)
        agent = std::make_unique<CFakeAgent>(answers[int(c.agent)], name);

    const QByteArray input = c.garbage ? QByteArray("no raster at all") : Raster();
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ASSERT_EQ(::write(pipeFds[1], input.constData(), size_t(input.size())), input.size());
    ::close(pipeFds[1]);
    const int output = ::memfd_create("output", MFD_CLOEXEC);
    const int log = ::memfd_create("log", MFD_CLOEXEC);
    Log::SetSink({log, Log::Style::Cups, QByteArray(), false, false});

    const char *argv[] = {"corvane-cups", "7", user.constData(), "Labels", "1", c.options, nullptr};
    CFilterRun run;
    const int code =
        run.Run(6, const_cast<char **>(argv),
                {QFile::encodeName(ppd.fileName()), "/nonexistent", QFile::encodeName(dir.path())},
                {pipeFds[0], output, name});
    Log::SetSink({});
    const QByteArray lines = ReadAll(log);
    EXPECT_EQ(code, c.exitCode);
    EXPECT_EQ(ReadAll(output), c.printed ? input : QByteArray());
    EXPECT_TRUE(lines.contains(QByteArray(c.line).replace("USER", user))) << lines.constData();
    EXPECT_FALSE(lines.contains("DEBUG:")) << lines.constData();
    if (agent != nullptr && c.agent != Agent::Refuse) {
        const CFakeAgent::Seen seen = agent->Snapshot();
        EXPECT_TRUE(seen.problem.isEmpty()) << qPrintable(seen.problem);
        EXPECT_EQ(seen.job.jobId, 7u);
        EXPECT_EQ(seen.endCount, 2);
        EXPECT_EQ(seen.pageBytes, (QList<quint64>{12 * 5, 12 * 5}));
    }
    ::close(pipeFds[0]);
    ::close(output);
    ::close(log);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FilterRunTest,
    ::testing::Values(
        RunCase{"print", Agent::Print, "Drop", "", false, true, 0,
                "INFO: Printing: the job was printed from the preview.\n"},
        RunCase{"cancel", Agent::Cancel, "Print", "", false, false, 0,
                "WARNING: Cancelled in the preview: nothing was printed.\n"},
        RunCase{"none", Agent::NoDecision, "Print", "", false, false, 0,
                "WARNING: The preview closed without a decision: nothing was printed.\n"},
        RunCase{"refused", Agent::Refuse, "Print", "", false, true, 0,
                "WARNING: Printed without preview: the preview agent refused the job: the fake agent "
                "refuses; the default of the queue is "
                "CorvaneWithoutSession=Print.\n"},
        RunCase{"given-up", Agent::GiveUp, "Drop", "", false, false, 0,
                "WARNING: Not printed, without preview: the preview agent gave the job up: no room for the "
                "pages; the default of the queue is CorvaneWithoutSession=Drop.\n"},
        RunCase{"no-agent-print", Agent::None, "Print", "", false, true, 0,
                "WARNING: Printed without preview: no preview agent of USER (no agent is listening)"},
        RunCase{"no-agent-drop", Agent::None, "Drop", "", false, false, 0,
                "WARNING: Not printed, without preview: no preview agent of USER"},
        RunCase{"job-option-drop", Agent::None, "Print", "CorvaneWithoutSession=Drop", false, false, 0,
                "the options of the job say CorvaneWithoutSession=Drop.\n"},
        RunCase{"damaged", Agent::None, "Print", "", true, false, 0,
                "ERROR: The raster of the job is damaged, nothing was printed"}),
    [](const ::testing::TestParamInfo<RunCase> &param) {
        return QByteArray(param.param.name).replace('-', '_').toStdString();
    });

} // namespace
