// The reference driver's own parts: its command line, and the job it writes as the preview reads it.
#include "DriverOptions.h"
#include "LabelJob.h"

#include "app/JobSettings.h"
#include "app/PageFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

struct OptionCase {
    const char *name;
    QStringList arguments;
    bool ok;
    std::function<void(const DriverOptions &)> check;
};

void PrintTo(const OptionCase &c, std::ostream *out)
{
    *out << c.name;
}

class DriverOptionsTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(DriverOptionsTest, Parses)
{
    DriverOptions options;
    QString error, help;
    EXPECT_EQ(ParseDriverOptions(GetParam().arguments, options, &help, &error), GetParam().ok)
        << error.toStdString();
    EXPECT_EQ(error.isEmpty(), GetParam().ok);
    if (GetParam().ok && GetParam().check)
        GetParam().check(options);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DriverOptionsTest,
    ::testing::Values(
        OptionCase{"Reports",
                   {QStringLiteral("--reports"), QStringLiteral("3:0,5:0,6:1,9:1")},
                   true,
                   [](const DriverOptions &o) {
                       ASSERT_EQ(o.reports.size(), 4);
                       EXPECT_EQ(o.reports[2].count, 6u);
                       EXPECT_EQ(o.reports[2].done, 1);
                       EXPECT_TRUE(o.explicitReports);
                   }},
        OptionCase{"NegativeCountIsAllBits",
                   {QStringLiteral("--reports"), QStringLiteral("-1:0,0x100000005:7")},
                   true,
                   [](const DriverOptions &o) {
                       EXPECT_EQ(o.reports[0].count, ~quint64(0));
                       EXPECT_EQ(o.reports[1].count, 0x100000005ull);
                       EXPECT_EQ(o.reports[1].done, 7);
                   }},
        OptionCase{"DelayedAccept",
                   {QStringLiteral("--result"), QStringLiteral("delay:250")},
                   true,
                   [](const DriverOptions &o) {
                       EXPECT_EQ(o.resultPolicy, ReplyPolicy::Accept);
                       EXPECT_EQ(o.resultDelayMs, 250);
                   }},
        OptionCase{"RefuseOnceAndEndedRefused",
                   {QStringLiteral("--result"), QStringLiteral("refuse-once"), QStringLiteral("--ended"),
                    QStringLiteral("refuse")},
                   true,
                   [](const DriverOptions &o) {
                       EXPECT_EQ(o.resultPolicy, ReplyPolicy::RefuseOnce);
                       EXPECT_EQ(o.endedPolicy, ReplyPolicy::Refuse);
                   }},
        OptionCase{"Garbage",
                   {QStringLiteral("--garbage"), QStringLiteral("flood:10000"), QStringLiteral("--stream")},
                   true,
                   [](const DriverOptions &o) {
                       EXPECT_EQ(o.garbage, GarbageKind::Flood);
                       EXPECT_EQ(o.garbageCount, 10000);
                       EXPECT_TRUE(o.stream);
                   }},
        OptionCase{"DoneNever",
                   {QStringLiteral("--done-at"), QStringLiteral("never")},
                   true,
                   [](const DriverOptions &o) { EXPECT_EQ(o.doneAt, 0); }},
        OptionCase{"UnknownPolicy", {QStringLiteral("--result"), QStringLiteral("maybe")}, false, {}},
        OptionCase{"EndedCannotBeDelayed", {QStringLiteral("--ended"), QStringLiteral("delay:5")}, false, {}},
        OptionCase{"NoPages", {QStringLiteral("--pages"), QStringLiteral("0")}, false, {}},
        OptionCase{"OrientationThree", {QStringLiteral("--orientation"), QStringLiteral("3")}, false, {}},
        OptionCase{"GarbageWithoutCount", {QStringLiteral("--garbage"), QStringLiteral("flood")}, false, {}},
        OptionCase{"ReportWithoutFlag", {QStringLiteral("--reports"), QStringLiteral("3")}, false, {}},
        OptionCase{"StrayArgument", {QStringLiteral("print")}, false, {}},
        OptionCase{"UnknownOption", {QStringLiteral("--colour")}, false, {}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(DriverOptionsHelpTest, ListsTheOptions)
{
    DriverOptions options;
    QString error, help;
    EXPECT_FALSE(ParseDriverOptions({QStringLiteral("--help")}, options, &help, &error));
    EXPECT_TRUE(error.isEmpty());
    for (const char *option :
         {"--demo", "--reports", "--result", "--close-after", "--die-after", "--garbage", "--hwnd"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

// 24 mm at 180 dpi: 24 * 180 / 25.4 = 170.08 dots across; page 1 is 30 mm long: 212.6 -> 213 dots.
TEST(LabelPageTest, OneBitDotsOfTheTapeAndLengthsThatDiffer)
{
    DriverOptions options;
    const QImage page1 = RenderLabelPage(options, 1);
    EXPECT_EQ(page1.format(), QImage::Format_Mono);
    EXPECT_EQ(page1.size(), QSize(170, 213));
    EXPECT_EQ(RenderLabelPage(options, 2).height(), 319); // 45 mm
    options.orientation = 2;
    EXPECT_EQ(RenderLabelPage(options, 1).size(), QSize(213, 170));
    int black = 0;
    for (int y = 0; y < page1.height(); ++y)
        for (int x = 0; x < page1.width(); ++x)
            black += qGray(page1.pixel(x, y)) < 128 ? 1 : 0;
    EXPECT_GT(black, page1.width() * page1.height() / 20);
    EXPECT_LT(black, page1.width() * page1.height() / 2);
}

TEST(LabelJobTest, ThePreviewReadsWhatTheDriverWrites)
{
    QTemporaryDir dir;
    DriverOptions options;
    options.pages = 3;
    options.docName = QStringLiteral("見本 100%");
    LabelJob job;
    QString error;
    ASSERT_TRUE(WriteLabelJob(options, dir.path(), job, &error)) << error.toStdString();
    ASSERT_EQ(job.pageFiles.size(), 3);

    CJobSettings settings;
    ASSERT_EQ(settings.ReadJobFile(job.jobFile), 0);
    EXPECT_EQ(settings.m_nTapeWidthMm, 24);
    EXPECT_EQ(settings.m_nDpi, 180);
    EXPECT_EQ(settings.m_nOrientation, 1);
    EXPECT_EQ(settings.m_strDocName, options.docName);
    for (int page = 1; page <= 3; ++page)
        EXPECT_EQ(PageFileName(settings.m_strPageFileFormat, page), job.pageFiles[page - 1]);

    QFile bitmap(job.pageFiles[0]);
    ASSERT_TRUE(bitmap.open(QIODevice::ReadOnly));
    const QByteArray header = bitmap.read(30);
    ASSERT_EQ(header.size(), 30);
    EXPECT_EQ(header.left(2), QByteArray("BM"));
    EXPECT_EQ(header[28], 1) << "bits per pixel";
}

TEST(LabelJobTest, AnOmittedKeyIsTheRefusalThePreviewReports)
{
    QTemporaryDir dir;
    DriverOptions options;
    options.pages = 1;
    options.omitKey = QStringLiteral("copies");
    LabelJob job;
    QString error;
    ASSERT_TRUE(WriteLabelJob(options, dir.path(), job, &error));
    CJobSettings settings;
    EXPECT_EQ(settings.ReadJobFile(job.jobFile), 305);
}

} // namespace
