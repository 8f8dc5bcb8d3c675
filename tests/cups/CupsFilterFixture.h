#pragma once

// corvane-cups in a real CUPS scheduler, before the real agent: jobs printed by lp to the preview
// queue, compared with the same jobs on the direct queue; the agent's side is played by CFakeAgent.
#include "FakeAgent.h"
#include "PrivateCups.h"

#include <gtest/gtest.h>

#include <QStringList>

// Failure messages show texts as text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

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

    static inline QString s_pdf;
    static inline QByteArray s_direct;
    QStringList m_tempBefore;
    int m_job = 0;
};
