// corvane-jobcheck's page modes as an integrator runs them: the page as JSON, its PNG, and the pages
// of a job with the tape length each would set.
#include "BmpBuilder.h"
#include "support/JobCheckRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void WriteBytes(const QString &path, const std::vector<uchar> &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
}

// A 3 x 2 1-bit page with a two-colour table: top row 0 1 0, bottom row 1 1 0.
std::vector<uchar> MonoPage()
{
    CBmpBuilder b;
    b.nBits = 1;
    b.palette = {qRgb(10, 20, 30), qRgb(200, 100, 50)};
    b.SetRows({{0, 1, 0}, {1, 1, 0}});
    return b.Build();
}

TEST(JobCheckPage, PrintsTheDecodedPageAndWritesItAsRgbPng)
{
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("page.bmp"));
    const QString png = dir.filePath(QStringLiteral("page.png"));
    WriteBytes(bmp, MonoPage());
    const CJobCheckRun run = JobCheck({QStringLiteral("--page"), bmp, QStringLiteral("--png"), png});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out,
              QByteArray("{\"loaded\": true, \"width\": 3, \"height\": 2, \"bits\": 1, \"alpha\": false, "
                         "\"palette\": [[10, 20, 30], [200, 100, 50]]}\n"));
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_FALSE(image.hasAlphaChannel());
    EXPECT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(1, 0), qRgb(200, 100, 50));
    EXPECT_EQ(image.pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(image.pixel(0, 1), qRgb(200, 100, 50));
}

TEST(JobCheckPage, AnAlphaPageIsMarkedAndDrawnOpaque)
{
    QTemporaryDir dir;
    CBmpBuilder b;
    b.nHeaderSize = 124;
    b.nBits = 32;
    b.nCompression = 3;
    b.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    b.SetRows({{0x00123456, 0x80FFFFFF}});
    const QString bmp = dir.filePath(QStringLiteral("a.bmp"));
    const QString png = dir.filePath(QStringLiteral("a.png"));
    WriteBytes(bmp, b.Build());
    const CJobCheckRun run = JobCheck({QStringLiteral("--page"), bmp, QStringLiteral("--png"), png});
    EXPECT_EQ(run.out,
              QByteArray("{\"loaded\": true, \"width\": 2, \"height\": 1, \"bits\": 32, \"alpha\": true}\n"));
    const QImage image(png);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
}

TEST(JobCheckPage, APageThatDoesNotLoadIsReportedWithExitZeroAndNoPng)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("none.png"));
    const CJobCheckRun run = JobCheck({QStringLiteral("--page"), dir.filePath(QStringLiteral("missing.bmp")),
                                       QStringLiteral("--png"), png});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(
        run.out,
        QByteArray("{\"loaded\": false, \"width\": 0, \"height\": 0, \"bits\": 0, \"alpha\": false}\n"));
    EXPECT_FALSE(QFile::exists(png));
}

TEST(JobCheckPages, ListsEachExistingPageWithItsTapeLength)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("spool 100%")) + u'/';
    ASSERT_TRUE(QDir().mkpath(folder));
    CBmpBuilder tall;
    tall.nBits = 1;
    tall.nWidth = 340;
    tall.nHeight = 1417;
    tall.palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    tall.pixels.assign(size_t(44) * 1417, 0); // rows of (340 + 31) / 32 x 4 bytes
    WriteBytes(folder + QStringLiteral("job_00001.bmp"), tall.Build());
    WriteBytes(folder + QStringLiteral("job_00002.bmp"), {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
    WriteBytes(folder + QStringLiteral("job_00004.bmp"), tall.Build()); // after the gap: not listed
    QFile ini(dir.filePath(QStringLiteral("job.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "[DRVSPEC]\nMaxTapeWidth=24\nMaxTapeLength=1000\n[BMPFILE]\nFilePath=" + folder.toUtf8() +
        "\nFileName=job\nCopies=1\nTapeWidth=24mm\nTapeLength=100mm\nDocName=d\nDPI=360\nOrientation=2\n");
    ini.close();

    const CJobCheckRun run = JobCheck({ini.fileName(), QStringLiteral("--pages")});
    EXPECT_EQ(run.nExit, 0) << run.out.constData();
    const QJsonArray pages =
        QJsonDocument::fromJson(run.out).object().value(QStringLiteral("pages")).toArray();
    ASSERT_EQ(pages.size(), 2) << run.out.constData();
    const QJsonObject first = pages[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("page")).toInt(), 1);
    EXPECT_EQ(first.value(QStringLiteral("file")).toString(), folder + QStringLiteral("job_00001.bmp"));
    EXPECT_TRUE(first.value(QStringLiteral("loaded")).toBool());
    EXPECT_EQ(first.value(QStringLiteral("width")).toInt(), 340);
    EXPECT_EQ(first.value(QStringLiteral("height")).toInt(), 1417);
    EXPECT_EQ(first.value(QStringLiteral("m_nTapeLengthMm")).toInt(), 24);
    const QJsonObject second = pages[1].toObject();
    EXPECT_FALSE(second.value(QStringLiteral("loaded")).toBool());
    EXPECT_EQ(second.value(QStringLiteral("m_nTapeLengthMm")).toInt(), 0);
}

} // namespace
