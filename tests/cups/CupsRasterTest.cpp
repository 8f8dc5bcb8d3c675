// corvane-cups in a real CUPS scheduler with raster it cannot take, and killed in a page.
#include "CupsFilterFixture.h"

#include <QFile>

#include <csignal>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

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
        const bool written = ::write(fd, "%!PS-Adobe\nshowpage\n", 20) == 20;
        ::close(fd);
        return written ? path : QString();
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
                   "The raster of the job is damaged, nothing was printed: page 1 ends after"},
        RasterCase{"Wide",
                   [](cups_page_header2_t &h) {
                       h.cupsWidth = 1u << 21;
                       h.cupsHeight = 2;
                   },
                   0, "The raster of the job is damaged, nothing was printed: page 1: 2097152 x 2 dots"},
        RasterCase{
            "NoResolution", [](cups_page_header2_t &h) { h.HWResolution[0] = 0; }, -1,
            "The raster of the job is damaged, nothing was printed: page 1: a resolution of 0 x 300 dpi"},
        RasterCase{
            "NotRaster", [](cups_page_header2_t &h) { h.cupsWidth = 0; }, -2,
            "The raster of the job is damaged, nothing was printed: the input does not start as CUPS or "
            "PWG raster"},
        RasterCase{"CIELab",
                   [](cups_page_header2_t &h) {
                       h.cupsColorSpace = CUPS_CSPACE_CIELab;
                       h.cupsBitsPerPixel = 24;
                   },
                   -1, "Printed without preview: page 1: colour space 16 cannot be shown"}),
    [](const ::testing::TestParamInfo<RasterCase> &param) { return std::string(param.param.name); });

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
