// corvane-cups with a full TempDir (a 1 MiB tmpfs in the scheduler's private mount namespace): the spool
// write's failure is named, and a job is printed whole or not at all.
#include "CupsFilterFixture.h"

#include <QFile>

#include <cups/raster.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

// pages one-bit pages of width x height dots at 300 dpi, with a diagonal on each.
QString WriteBitRaster(const QString &path, unsigned pages, unsigned width, unsigned height)
{
    cups_page_header2_t h{};
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.PageSize[0] = width * 72 / 300;
    h.PageSize[1] = height * 72 / 300;
    h.cupsPageSize[0] = static_cast<float>(h.PageSize[0]);
    h.cupsPageSize[1] = static_cast<float>(h.PageSize[1]);
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
    h.cupsColorSpace = CUPS_CSPACE_K;
    h.cupsBytesPerLine = (width + 7) / 8;
    h.NumCopies = 1;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    std::vector<unsigned char> row(h.cupsBytesPerLine);
    for (unsigned page = 0; page < pages; ++page) {
        cupsRasterWriteHeader2(raster, &h);
        for (unsigned y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            row[(y * width / height) / 8] = 0x80;
            cupsRasterWritePixels(raster, row.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
    return path;
}

struct SpoolCase {
    const char *name;
    unsigned pages, width, height;
    bool agent;            // a stand-in agent answers Print
    const char *jobOption; // -o CorvaneWithoutSession=..., nullptr for none
    bool printed;          // the whole job, as the direct queue prints it; otherwise nothing
    const char *status;    // the start of the job's status; "%1" is the spool folder
};

void PrintTo(const SpoolCase &c, std::ostream *os)
{
    *os << c.name;
}

class CupsSpoolTest : public CupsFilterTest, public ::testing::WithParamInterface<SpoolCase> {};

TEST_P(CupsSpoolTest, FullTempDir)
{
    const SpoolCase &c = GetParam();
    const CPrivateCups &cups = CPrivateCups::Instance();
    if (!cups.PrivateMounts())
        GTEST_SKIP() << "no private mount namespace for a small TempDir";
    const QString file = WriteBitRaster(cups.Dir() + QStringLiteral("/%1.ras").arg(QLatin1String(c.name)),
                                        c.pages, c.width, c.height);
    const QString tmp = cups.Dir() + QStringLiteral("/spool/tmp");
    ASSERT_EQ(::mount("tmpfs", QFile::encodeName(tmp).constData(), "tmpfs", 0, "size=1m,mode=1777"), 0);
    std::unique_ptr<CFakeAgent> agent;
    if (c.agent)
        agent = std::make_unique<CFakeAgent>(CFakeAgent::Answer::Print);
    QStringList options{QStringLiteral("document-format=application/vnd.cups-raster")};
    if (c.jobOption != nullptr)
        options << QStringLiteral("CorvaneWithoutSession=") + QLatin1String(c.jobOption);
    const QString end = PrintPreview(file, options);
    ::umount2(QFile::encodeName(tmp).constData(), MNT_DETACH);
    EXPECT_EQ(end, QStringLiteral("completed"));
    const QString status = cups.JobStatus(m_job);
    EXPECT_TRUE(status.startsWith(QString::fromUtf8(c.status).replace(QStringLiteral("%1"), tmp)))
        << status.toStdString();
    const QByteArray out = cups.Output(QStringLiteral("preview"));
    if (c.printed)
        EXPECT_TRUE(out == cups.PrintDirect(file)) << out.size() << " bytes";
    else
        EXPECT_TRUE(out.isEmpty()) << out.size() << " bytes";
    if (agent) {
        const CFakeAgent::Seen seen = agent->Snapshot();
        EXPECT_EQ(seen.endCount, -1) << "a job that cannot be spooled was completed for the preview";
        EXPECT_TRUE(seen.closedByFilter);
    }
    ExpectQueueReady();
}

// 30 pages of 45 KB fill the spool in page 23, after the preview had pages; one page of 1.5 MB fills
// it before the preview had one.
INSTANTIATE_TEST_SUITE_P(
    Spool, CupsSpoolTest,
    ::testing::Values(
        SpoolCase{
            "FullAfterPagesShown", 30, 338, 1050, true, nullptr, false,
            "The job cannot be spooled, nothing was printed: the spool file in %1 cannot be written: No "
            "space left on device."},
        SpoolCase{"FullBeforeAPageShown", 1, 4000, 3000, true, nullptr, true,
                  "Printed without preview: the spool file in %1 cannot be written: No space left on device; "
                  "the default of the queue is CorvaneWithoutSession=Print."},
        SpoolCase{"FullBeforeAPageShownDrop", 1, 4000, 3000, true, "Drop", false,
                  "Not printed, without preview: the spool file in %1 cannot be written: No space left on "
                  "device; the options of the job say CorvaneWithoutSession=Drop."},
        SpoolCase{"FullWithoutAgent", 30, 338, 1050, false, nullptr, true,
                  "Printed without preview: no preview agent of root"}),
    [](const ::testing::TestParamInfo<SpoolCase> &param) { return std::string(param.param.name); });

} // namespace
