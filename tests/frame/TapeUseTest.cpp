// The job's tape from the pages' headers and the tooltip text, without a window.
#include "SampleJob.h"

#include "app/JobSettings.h"
#include "app/PageFiles.h"
#include "frame/TapeUse.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class TapeUseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SampleJob job;
        job.folder = m_dir.path() + QStringLiteral("/");
        job.baseName = QStringLiteral("t");
        job.pageCount = 4;
        ASSERT_TRUE(WriteSampleJob(job, m_settings));
    }
    QTemporaryDir m_dir;
    CJobSettings m_settings;
};

// Pages of 70, 100, 100 and 100 mm at 360 dpi: 992 + 3 x 1417 dots across, 340 dots down each.
TEST_F(TapeUseTest, SumsTheExtentsAlongTheTape)
{
    CJobTape across = SumJobTape(m_settings.m_strPageFileFormat, 4, 2);
    EXPECT_EQ(across.nPages, 4);
    EXPECT_EQ(across.nDots, 992 + 3 * 1417);
    EXPECT_EQ(across.nFailedPage, 0);
    CJobTape down = SumJobTape(m_settings.m_strPageFileFormat, 4, 1);
    EXPECT_EQ(down.nDots, 4 * 340);
    EXPECT_EQ(SumJobTape(m_settings.m_strPageFileFormat, 0, 2).nDots, 0);
}

// The first page that is missing or no bitmap stops the sum; a count beyond the pages that exist
// stops at the first one that does not.
TEST_F(TapeUseTest, StopsAtTheFirstUnreadablePage)
{
    QFile page(PageFileName(m_settings.m_strPageFileFormat, 3));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly | QIODevice::Truncate));
    page.write("not a bitmap");
    page.close();
    const CJobTape job = SumJobTape(m_settings.m_strPageFileFormat, 4, 2);
    EXPECT_EQ(job.nFailedPage, 3);
    EXPECT_EQ(job.nPages, 2);
    EXPECT_EQ(SumJobTape(m_settings.m_strPageFileFormat, 2147483647, 2).nFailedPage, 3);
}

TEST(TapeUseTextTest, Lines)
{
    CJobTape job;
    job.nPages = 4;
    job.nDots = 992 + 3 * 1417; // 5243 dots = 369.92 mm
    EXPECT_EQ(TapeUseToolTip(100, 1417, false, job, 360, 2),
              QStringLiteral("このページ : 100 mm（1417 ドット）\nジョブ全体 : ページの作成中です"));
    EXPECT_EQ(TapeUseToolTip(100, 1417, true, job, 360, 1),
              QStringLiteral("このページ : 100 mm（1417 ドット）\nジョブ全体（1 部）: 370 mm（0.37 m）"));
    // 10 copies: 3699.2 mm; the dots are converted once, not page by page (4 x 100 mm would say 4000).
    EXPECT_EQ(TapeUseToolTip(100, 1417, true, job, 360, 10),
              QStringLiteral("このページ : 100 mm（1417 ドット）\nジョブ全体（10 部）: 3699 mm（3.70 m）"));
    job.nFailedPage = 3;
    EXPECT_EQ(TapeUseToolTip(0, 0, true, job, 360, 1),
              QStringLiteral("このページ : 0 mm（0 ドット）\nジョブ全体 : ページ 3 の長さを読み取れません"));
    job.nFailedPage = 0;
    EXPECT_EQ(TapeUseToolTip(100, 1417, true, job, 360, -2),
              QStringLiteral(
                  "このページ : 100 mm（1417 ドット）\nジョブ全体 : 部数または解像度が正しくありません"));
    EXPECT_EQ(TapeUseToolTip(100, 1417, true, job, 0, 1),
              QStringLiteral(
                  "このページ : 100 mm（1417 ドット）\nジョブ全体 : 部数または解像度が正しくありません"));
}

} // namespace
