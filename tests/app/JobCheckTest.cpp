// corvane-jobcheck as an integrator runs it: the JSON text, its escaping and the exit codes.
#include "support/JobCheckRun.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

TEST(JobCheck, SampleJobPrintsSettings)
{
    const CJobCheckRun run = JobCheck({QStringLiteral(CORVANE_SOURCE_DIR "/samples/job/job.ini")});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.out,
              QByteArray("{\"result\": 0, \"m_nTapeWidthMm\": 24, \"m_nTapeLengthMm\": 62, "
                         "\"m_strPageFileFormat\": \"/var/tmp/corvane/job-0001/label_%05d.bmp\", "
                         "\"m_nCopies\": 2, \"m_strTapeWidth\": \"24mm\", \"m_strTapeLength\": \"62mm\", "
                         "\"m_strDocName\": \"出荷ラベル 2026-12 (100%)\", \"m_nDpi\": 360, "
                         "\"m_nOrientation\": 2, \"m_nPageCount\": 1, "
                         "\"m_strPageFilePattern\": \"/var/tmp/corvane/job-0001/label_*.bmp\"}\n"));
}

TEST(JobCheck, EscapesQuotesBackslashesAndControls)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("job.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[DRVSPEC]\nMaxTapeWidth=12\nMaxTapeLength=-7\n[BMPFILE]\nFilePath=C:\\jobs\\\n"
               "FileName=a\"b\nCopies=1\nTapeWidth=x\x01y\nTapeLength=\x7f\nDocName=t\tab\nDPI=180\n"
               "Orientation=1\n");
    file.close();
    const CJobCheckRun run = JobCheck({file.fileName()});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_NE(run.out.indexOf("\"m_strPageFileFormat\": \"C:\\\\jobs\\\\a\\\"b_%05d.bmp\""), -1)
        << run.out.constData();
    EXPECT_NE(run.out.indexOf("\"m_strTapeWidth\": \"x\\u0001y\""), -1);
    EXPECT_NE(run.out.indexOf("\"m_strDocName\": \"t\\u0009ab\""), -1);
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.value(QStringLiteral("m_strTapeLength")).toString(), QStringLiteral("\x7f"));
    EXPECT_EQ(json.value(QStringLiteral("m_nTapeLengthMm")).toInt(), -7);
}

TEST(JobCheck, LoneSurrogateIsWrittenAsReplacement)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("job.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray text("\xFF\xFE");
    for (const char16_t ch : u"[DRVSPEC]\nMaxTapeWidth=1\nMaxTapeLength=1\n[BMPFILE]\nFilePath=a\xD800"
                             "b\n") {
        if (ch == 0)
            break;
        text.append(char(ch & 0xFF)).append(char(ch >> 8));
    }
    file.write(text);
    file.close();
    const CJobCheckRun run = JobCheck({file.fileName()});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.out.indexOf("\"m_strPageFileFormat\": \"a\xEF\xBF\xBD"
                              "b\""),
              -1)
        << run.out.constData();
}

TEST(JobCheck, RefusedJobExitsOneWithPartialState)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("job.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[DRVSPEC]\nMaxTapeWidth=12\nMaxTapeLength=30\n[BMPFILE]\nFilePath=/p/\n");
    file.close();
    const CJobCheckRun run = JobCheck({file.fileName()});
    EXPECT_EQ(run.nExit, 1);
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json.value(QStringLiteral("result")).toInt(), 294);
    EXPECT_EQ(json.value(QStringLiteral("m_strPageFileFormat")).toString(), QStringLiteral("/p/"));
    EXPECT_EQ(json.value(QStringLiteral("m_strPageFilePattern")).toString(), QString());
    EXPECT_EQ(json.value(QStringLiteral("m_nCopies")).toInt(), 0);

    const CJobCheckRun missing = JobCheck({dir.filePath(QStringLiteral("absent.ini"))});
    EXPECT_EQ(missing.nExit, 1);
    EXPECT_EQ(QJsonDocument::fromJson(missing.out).object().value(QStringLiteral("result")).toInt(), 267);
}

TEST(JobCheck, UsageOnHelpAndOnWrongArguments)
{
    EXPECT_EQ(JobCheck({}).nExit, 2);
    EXPECT_EQ(JobCheck({QStringLiteral("a.ini"), QStringLiteral("b.ini")}).nExit, 2);
    for (const QString &asked : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const CJobCheckRun help = JobCheck({asked});
        EXPECT_EQ(help.nExit, 0) << qPrintable(asked);
        EXPECT_TRUE(help.out.startsWith("usage: corvane-jobcheck")) << qPrintable(asked);
        EXPECT_TRUE(help.out.contains("\nReads a preview job file")) << qPrintable(asked);
    }
}

} // namespace
