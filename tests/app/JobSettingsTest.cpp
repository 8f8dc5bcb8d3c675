// ReadJobFile: the ten keys in order, what each failure leaves behind, and the 259-character cut.
#include "app/JobSettings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

namespace {

// The lines of a complete job, in the order the keys are read.
const char *const kValidLines[] = {
    "MaxTapeWidth=24", "MaxTapeLength=62", "FilePath=/tmp/job/", "FileName=label", "Copies=3",
    "TapeWidth=24mm",  "TapeLength=62mm",  "DocName=Invoice",    "DPI=360",        "Orientation=2",
};

class JobFile {
public:
    // lines[i] replaces key i (nullptr leaves the key out); the keys are written in reverse order,
    // since their order in the file does not matter.
    QString Write(const QList<const char *> &lines)
    {
        QByteArray drvspec("[DRVSPEC]\r\n");
        QByteArray bmpfile("[BMPFILE]\r\n");
        for (qsizetype i = lines.size() - 1; i >= 0; --i) {
            if (lines[i] == nullptr)
                continue;
            (i < 2 ? drvspec : bmpfile).append(lines[i]).append("\r\n");
        }
        return WriteBytes(bmpfile + drvspec);
    }
    QString WriteBytes(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("job.ini"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        return path;
    }

private:
    QTemporaryDir m_dir;
};

QList<const char *> ValidLines()
{
    return QList<const char *>(std::begin(kValidLines), std::end(kValidLines));
}

TEST(ReadJobFile, CompleteFileFillsEverything)
{
    JobFile job;
    CJobSettings s;
    ASSERT_EQ(s.ReadJobFile(job.Write(ValidLines())), 0);
    EXPECT_EQ(s.m_nTapeWidthMm, 24);
    EXPECT_EQ(s.m_nTapeLengthMm, 62);
    EXPECT_EQ(s.m_strPageFileFormat, QStringLiteral("/tmp/job/label_%05d.bmp"));
    EXPECT_EQ(s.m_strPageFilePattern, QStringLiteral("/tmp/job/label_*.bmp"));
    EXPECT_EQ(s.m_nCopies, 3);
    EXPECT_EQ(s.m_strTapeWidth, QStringLiteral("24mm"));
    EXPECT_EQ(s.m_strTapeLength, QStringLiteral("62mm"));
    EXPECT_EQ(s.m_strDocName, QStringLiteral("Invoice"));
    EXPECT_EQ(s.m_nDpi, 360);
    EXPECT_EQ(s.m_nOrientation, 2);
    EXPECT_EQ(s.m_nPageCount, 1);
    EXPECT_TRUE(s.m_strIniPath.isEmpty());
    EXPECT_EQ(s.m_hDriverWnd, 0u);
}

// Which members hold the file's values after a failure at step nFailed (1-based): steps before it
// hold theirs; the rest keep their construction values.
void ExpectPartialState(const CJobSettings &s, int nFailed)
{
    const auto stored = [nFailed](int nStep) { return nStep < nFailed; };
    EXPECT_EQ(s.m_nTapeWidthMm, stored(1) ? 24 : 0);
    EXPECT_EQ(s.m_nTapeLengthMm, stored(2) ? 62 : 0);
    const QString format = stored(4)   ? QStringLiteral("/tmp/job/label_%05d.bmp")
                           : stored(3) ? QStringLiteral("/tmp/job/")
                                       : QString();
    EXPECT_EQ(s.m_strPageFileFormat, format);
    EXPECT_EQ(s.m_strPageFilePattern, stored(4) ? QStringLiteral("/tmp/job/label_*.bmp") : QString());
    EXPECT_EQ(s.m_nCopies, stored(5) ? 3 : 0);
    EXPECT_EQ(s.m_strTapeWidth, stored(6) ? QStringLiteral("24mm") : QString());
    EXPECT_EQ(s.m_strTapeLength, stored(7) ? QStringLiteral("62mm") : QString());
    EXPECT_EQ(s.m_strDocName, stored(8) ? QStringLiteral("Invoice") : QString());
    EXPECT_EQ(s.m_nDpi, stored(9) ? 360 : 0);
    EXPECT_EQ(s.m_nOrientation, 0);
    EXPECT_EQ(s.m_nPageCount, 1);
}

struct FaultCase {
    const char *name;
    int nStep;        // 1-based step whose key is replaced
    const char *line; // the replacement; nullptr leaves the key out
    int nError;
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class ReadJobFileFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ReadJobFileFault, ReportsFirstFaultAndKeepsEarlierValues)
{
    const FaultCase &c = GetParam();
    QList<const char *> lines = ValidLines();
    lines[c.nStep - 1] = c.line;
    // A fault in a later key too: only the first in reading order counts.
    if (c.nStep < 9)
        lines[8] = "DPI=0";
    JobFile job;
    CJobSettings s;
    EXPECT_EQ(s.ReadJobFile(job.Write(lines)), c.nError);
    ExpectPartialState(s, c.nStep);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ReadJobFileFault,
    ::testing::Values(
        FaultCase{"widthZero", 1, "MaxTapeWidth=0", 267}, FaultCase{"widthMissing", 1, nullptr, 267},
        FaultCase{"widthNotANumber", 1, "MaxTapeWidth=wide", 267},
        FaultCase{"lengthZero", 2, "MaxTapeLength=0", 275}, FaultCase{"pathEmpty", 3, "FilePath=", 285},
        FaultCase{"pathQuotedEmpty", 3, "FilePath=\"\"", 285}, FaultCase{"nameMissing", 4, nullptr, 294},
        FaultCase{"copiesZero", 5, "Copies=0", 305}, FaultCase{"tapeWidthMissing", 6, nullptr, 314},
        FaultCase{"tapeLengthEmpty", 7, "TapeLength=  ", 323}, FaultCase{"docNameMissing", 8, nullptr, 332},
        FaultCase{"dpiZero", 9, "DPI=0", 340}, FaultCase{"orientationThree", 10, "Orientation=3", 349},
        FaultCase{"orientationZero", 10, "Orientation=0", 349},
        FaultCase{"orientationMissing", 10, nullptr, 349},
        FaultCase{"orientationMinusOne", 10, "Orientation=-1", 349}),
    [](const ::testing::TestParamInfo<FaultCase> &param) { return std::string(param.param.name); });

TEST(ReadJobFile, MissingFileIsEmptyFile)
{
    JobFile job;
    CJobSettings s;
    EXPECT_EQ(s.ReadJobFile(QStringLiteral("/nonexistent/job.ini")), 267);
    EXPECT_EQ(s.ReadJobFile(job.WriteBytes(QByteArray())), 267);
    ExpectPartialState(s, 1);
}

TEST(ReadJobFile, OrientationOneAndNegativeNumbersAccepted)
{
    QList<const char *> lines = ValidLines();
    lines[9] = "Orientation=1";
    lines[4] = "Copies=-2";
    JobFile job;
    CJobSettings s;
    EXPECT_EQ(s.ReadJobFile(job.Write(lines)), 0);
    EXPECT_EQ(s.m_nOrientation, 1);
    EXPECT_EQ(s.m_nCopies, -2);
}

TEST(ReadJobFile, LongStringsAreCutTo259)
{
    const QByteArray longName(300, 'd');
    const QByteArray longPath = "/" + QByteArray(299, 'p');
    QList<const char *> lines = ValidLines();
    const QByteArray docLine = "DocName=" + longName;
    const QByteArray pathLine = "FilePath=" + longPath;
    lines[7] = docLine.constData();
    lines[2] = pathLine.constData();
    JobFile job;
    CJobSettings s;
    ASSERT_EQ(s.ReadJobFile(job.Write(lines)), 0);
    EXPECT_EQ(s.m_strDocName, QString::fromLatin1(longName.left(259)));
    EXPECT_EQ(s.m_strPageFileFormat,
              QString::fromLatin1(longPath.left(259)) + QStringLiteral("label_%05d.bmp"));
}

TEST(ReadJobFile, KeysInOtherCaseAndPathWithoutSeparator)
{
    JobFile job;
    CJobSettings s;
    const QString path = job.WriteBytes(
        "[drvspec]\nmaxtapewidth=12\nMAXTAPELENGTH=30\n[BmpFile]\nfilepath=C:\\Temp\nfilename=job\n"
        "copies=1\ntapewidth=12mm\ntapelength=30mm\ndocname=%s%d\ndpi=180\norientation=1\n");
    ASSERT_EQ(s.ReadJobFile(path), 0);
    EXPECT_EQ(s.m_nTapeWidthMm, 12);
    EXPECT_EQ(s.m_strPageFileFormat, QStringLiteral("C:\\Tempjob_%05d.bmp"));
    EXPECT_EQ(s.m_strPageFilePattern, QStringLiteral("C:\\Tempjob_*.bmp"));
    EXPECT_EQ(s.m_strDocName, QStringLiteral("%s%d"));
}

} // namespace
