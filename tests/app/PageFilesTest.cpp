// Page-file names, the wildcard rules and the exit deletions, on real temporary folders.
#include "app/PageFiles.h"
#include "app/JobSettings.h"
#include "support/ParamPrint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <ostream>

namespace {

struct MatchCase {
    const char *pattern;
    const char *name;
    bool matches;
};

void PrintTo(const MatchCase &c, std::ostream *os)
{
    ParamPrint::Quoted(c.pattern, os);
    *os << " on ";
    ParamPrint::Quoted(c.name, os);
    *os << (c.matches ? " matches" : " fails");
}

class WildcardTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(WildcardTest, Matches)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(WildcardMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.matches)
        << c.pattern << " / " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, WildcardTest,
    ::testing::Values(
        MatchCase{"job_*.bmp", "job_00001.bmp", true}, MatchCase{"job_*.bmp", "job_.bmp", true},
        MatchCase{"job_*.bmp", "job_old.bmp", true}, MatchCase{"job_*.bmp", "job_1.bmp.bak", false},
        MatchCase{"job_*.bmp", "job_1.bmp.bmp", true}, MatchCase{"job_*.bmp", "JOB_1.BMP", false},
        MatchCase{"job_*.bmp", "xjob_1.bmp", false}, MatchCase{"a?c", "abc", true},
        MatchCase{"a?c", "ac", false}, MatchCase{"a?c", "a表c", true},
        MatchCase{"a?c",
                  "a\xF0\x9F\x98\x80"
                  "c",
                  true},
        MatchCase{"[ab]_*.bmp", "[ab]_1.bmp", true}, MatchCase{"[ab]_*.bmp", "a_1.bmp", false},
        MatchCase{"a\\b*", "a\\bc", true}, MatchCase{"a\\b*", "ab", false}, MatchCase{"*", "", true},
        MatchCase{"", "", true}, MatchCase{"", "a", false}, MatchCase{"**a**", "bab", true},
        MatchCase{"*a*b", "aaab", true}, MatchCase{"*a*b", "aaa", false},
        MatchCase{"a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}));

TEST(PageFileName, FillsNumberAndKeepsPercents)
{
    EXPECT_EQ(PageFileName(QStringLiteral("/t/job_%05d.bmp"), 1), QStringLiteral("/t/job_00001.bmp"));
    EXPECT_EQ(PageFileName(QStringLiteral("/t/job_%05d.bmp"), 123456), QStringLiteral("/t/job_123456.bmp"));
    EXPECT_EQ(PageFileName(QStringLiteral("/100%/%s_%05d.bmp"), 42), QStringLiteral("/100%/%s_00042.bmp"));
}

class JobFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_s.m_strPageFileFormat = m_dir.filePath(QStringLiteral("job_%05d.bmp"));
        m_s.m_strPageFilePattern = m_dir.filePath(QStringLiteral("job_*.bmp"));
        m_s.m_strIniPath = m_dir.filePath(QStringLiteral("job.ini"));
        Touch(QStringLiteral("job.ini"));
    }
    void Touch(const QString &name)
    {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void TouchPages(int nFirst, int nLast)
    {
        for (int n = nFirst; n <= nLast; ++n)
            Touch(QFileInfo(PageFileName(m_s.m_strPageFileFormat, n)).fileName());
    }
    QSet<QString> Left() const
    {
        const QStringList names =
            QDir(m_dir.path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        return QSet<QString>(names.begin(), names.end());
    }
    QTemporaryDir m_dir;
    CJobSettings m_s;
};

TEST_F(JobFolder, CountFiveWithSevenOnDiskSweepsTheRest)
{
    TouchPages(1, 7);
    m_s.m_nPageCount = 5;
    DeleteJobFiles(m_s);
    EXPECT_TRUE(Left().isEmpty()) << Left().values().join(u' ').toStdString();
}

TEST_F(JobFolder, CountFiveWithFiveOnDiskLeavesOthersAlone)
{
    TouchPages(1, 5);
    m_s.m_nPageCount = 5;
    DeleteJobFiles(m_s);
    EXPECT_TRUE(Left().isEmpty());
}

TEST_F(JobFolder, SweepStartsAtOneWhenCountBelowOne)
{
    TouchPages(1, 3);
    for (const int nCount : {0, -4}) {
        m_s.m_nPageCount = nCount;
        TouchPages(1, 3);
        DeleteJobFiles(m_s);
        EXPECT_TRUE(Left().isEmpty()) << nCount;
    }
}

TEST_F(JobFolder, LeftoverMatchTriggersSweepButStays)
{
    TouchPages(1, 2);
    TouchPages(998, 1000);
    Touch(QStringLiteral("job_old.bmp"));
    Touch(QStringLiteral("job_0003.bmp"));
    Touch(QStringLiteral("job_.bmp"));
    Touch(QStringLiteral("other_00001.bmp"));
    m_s.m_nPageCount = 1;
    DeleteJobFiles(m_s);
    const QSet<QString> expected{QStringLiteral("job_01000.bmp"), QStringLiteral("job_old.bmp"),
                                 QStringLiteral("job_0003.bmp"), QStringLiteral("job_.bmp"),
                                 QStringLiteral("other_00001.bmp")};
    EXPECT_EQ(Left(), expected);
}

TEST_F(JobFolder, NamesOnlyInAnotherCaseDoNotMatch)
{
    Touch(QStringLiteral("JOB_00002.BMP"));
    Touch(QStringLiteral("job_00003.bmp~"));
    EXPECT_FALSE(AnyFileMatches(m_s.m_strPageFilePattern));
    m_s.m_nPageCount = 1;
    DeleteJobFiles(m_s);
    EXPECT_EQ(Left(), (QSet<QString>{QStringLiteral("JOB_00002.BMP"), QStringLiteral("job_00003.bmp~")}));
}

TEST_F(JobFolder, CountAtOrPast999SweepsNothing)
{
    TouchPages(999, 1001);
    m_s.m_nPageCount = 999;
    DeleteJobFiles(m_s);
    EXPECT_EQ(Left(), (QSet<QString>{QStringLiteral("job_01000.bmp"), QStringLiteral("job_01001.bmp")}));
}

TEST_F(JobFolder, HugeCountDeletesExactlyItsPages)
{
    TouchPages(1, 3);
    TouchPages(123456, 123456);
    Touch(QStringLiteral("job_000004.bmp"));
    Touch(QStringLiteral("job_+0005.bmp"));
    m_s.m_nPageCount = 2147483647;
    DeleteJobFiles(m_s);
    EXPECT_EQ(Left(), (QSet<QString>{QStringLiteral("job_000004.bmp"), QStringLiteral("job_+0005.bmp")}));
}

TEST_F(JobFolder, TemplateWithoutNumberDeletesNoPage)
{
    // After error 294 the template is FilePath alone; a file of that name is the user's, not a page,
    // and so is one that a "%05d" inside FilePath would name.
    Touch(QStringLiteral("notes"));
    Touch(QStringLiteral("keep00001"));
    m_s.m_strIniPath.clear();
    m_s.m_strPageFilePattern.clear();
    for (const QString &filePath : {QStringLiteral("notes"), QStringLiteral("keep%05d")}) {
        m_s.m_strPageFileFormat = m_dir.filePath(filePath);
        DeleteJobFiles(m_s);
    }
    EXPECT_EQ(Left(), (QSet<QString>{QStringLiteral("job.ini"), QStringLiteral("notes"),
                                     QStringLiteral("keep00001")}));
}

TEST_F(JobFolder, FoldersAreNotDeleted)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("job_00001.bmp")));
    m_s.m_strIniPath = m_dir.path();
    DeleteJobFiles(m_s);
    EXPECT_EQ(Left(), (QSet<QString>{QStringLiteral("job.ini"), QStringLiteral("job_00001.bmp")}));
}

TEST_F(JobFolder, LinkedPageLosesTheLinkNotItsTarget)
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("keep.bmp"));
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(target, PageFileName(m_s.m_strPageFileFormat, 1)));
    DeleteJobFiles(m_s);
    EXPECT_TRUE(Left().isEmpty());
    EXPECT_TRUE(QFile::exists(target));
}

TEST_F(JobFolder, PatternRules)
{
    TouchPages(5, 5);
    EXPECT_TRUE(AnyFileMatches(m_s.m_strPageFilePattern));
    EXPECT_FALSE(AnyFileMatches(QString()));
    EXPECT_FALSE(AnyFileMatches(m_dir.path() + u'/'));
    EXPECT_FALSE(AnyFileMatches(m_dir.filePath(QStringLiteral("missing/job_*.bmp"))));
    EXPECT_FALSE(AnyFileMatches(m_dir.filePath(QStringLiteral("[j]ob_*.bmp"))));
    // Wildcards count in the last part only.
    EXPECT_FALSE(AnyFileMatches(m_dir.path() + QStringLiteral("*/job_*.bmp")));
    // Over 259 characters: no match even though the name would match.
    const QString longPattern = m_dir.path() + u'/' + QString(300, u'*') + QStringLiteral("job_*.bmp");
    EXPECT_FALSE(AnyFileMatches(longPattern));
    const QString relative = QDir::current().relativeFilePath(m_s.m_strPageFilePattern);
    if (relative.size() <= MaxPatternLength) {
        EXPECT_TRUE(AnyFileMatches(relative));
    }
}

TEST_F(JobFolder, PatternAt259Matches)
{
    const QString prefix = m_dir.path() + u'/';
    const QString name = QString(259 - prefix.size() - 5, u'a') + QStringLiteral("_1.bm");
    Touch(name);
    QString pattern = prefix + name;
    pattern[pattern.size() - 1] = u'?';
    ASSERT_EQ(pattern.size(), 259);
    EXPECT_TRUE(AnyFileMatches(pattern));
    EXPECT_FALSE(AnyFileMatches(pattern + u'*'));
}

} // namespace
