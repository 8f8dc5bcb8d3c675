// Real label and tape printers: queues made as users make them from printer-driver-dymo's PPDs (lpadmin
// -m) with preview queues beside them (corvane-queue add). The printers' own filters choose their protocol
// by the PPD's model name, so the preview queue prints exactly the printer queue's bytes only when the
// preview PPD keeps it.
#include "CupsFilterFixture.h"

#include <QFile>
#include <QMap>

namespace {

struct DymoPrinter {
    const char *queue;
    const char *model; // what lpadmin -m takes
};

// A LabelWriter (labels on a roll, raster2dymolw) and a LabelManager (tape, raster2dymolm).
const DymoPrinter kPrinters[] = {
    {"lw450", "dymo:0/cups/model/lw450.ppd"},
    {"lm450", "dymo:0/cups/model/lm450.ppd"},
};

class CupsDymoTest : public CupsFilterTest {
protected:
    static void SetUpTestSuite()
    {
        CupsFilterTest::SetUpTestSuite();
        const CPrivateCups &cups = CPrivateCups::Instance();
        if (!cups.Missing().isEmpty() || !cups.Broken().isEmpty())
            return;
        if (!QFile::exists(QStringLiteral("/usr/lib/cups/driver/dymo"))) {
            s_problem = "printer-driver-dymo is not installed (scripts/setup.sh installs it)";
            return;
        }
        for (const DymoPrinter &printer : kPrinters) {
            const QString queue = QString::fromLatin1(printer.queue);
            QString output;
            if (cups.Client(QStringLiteral("lpadmin"),
                            {QStringLiteral("-p"), queue, QStringLiteral("-E"), QStringLiteral("-v"),
                             QStringLiteral("file://%1/out/%2.prn").arg(cups.Dir(), queue),
                             QStringLiteral("-m"), QString::fromLatin1(printer.model)},
                            &output) != 0 ||
                cups.Client(QStringLiteral(CORVANE_BINARY_DIR "/corvane-queue"),
                            {QStringLiteral("add"), queue}, &output) != 0) {
                s_problem = output.toStdString();
                return;
            }
            s_directOf[queue] = cups.PrintDirect(s_pdf, queue);
        }
    }

    void SetUp() override
    {
        CupsFilterTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(s_problem.empty()) << s_problem;
    }

    // Prints the document on the printer's preview queue; what reached the printer's device.
    QByteArray PrintThroughPreview(const DymoPrinter &printer)
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        const QString queue = QString::fromLatin1(printer.queue);
        cups.ClearOutput(queue);
        m_job = cups.Submit(queue + QStringLiteral("-preview"), s_pdf);
        EXPECT_NE(m_job, 0);
        EXPECT_EQ(cups.WaitForJobEnd(m_job), QStringLiteral("completed"));
        EXPECT_EQ(cups.TempFiles(), m_tempBefore);
        return cups.Output(queue);
    }

    static inline std::string s_problem;
    static inline QMap<QString, QByteArray> s_directOf;
};

// Print answered in the preview: the preview had every page, the printer got the printer queue's bytes.
TEST_F(CupsDymoTest, PrintAnsweredGivesThePrinterQueuesBytes)
{
    for (const DymoPrinter &printer : kPrinters) {
        SCOPED_TRACE(printer.queue);
        const QByteArray direct = s_directOf.value(QString::fromLatin1(printer.queue));
        ASSERT_FALSE(direct.isEmpty()) << "the printer queue printed nothing";
        CFakeAgent agent(CFakeAgent::Answer::Print);
        ASSERT_TRUE(agent.IsListening());
        const QByteArray out = PrintThroughPreview(printer);
        const CFakeAgent::Seen seen = agent.Snapshot();
        EXPECT_TRUE(seen.problem.isEmpty()) << seen.problem.toStdString();
        EXPECT_EQ(seen.endCount, 3);
        EXPECT_TRUE(out == direct) << out.size() << " bytes, the printer queue's " << direct.size();
    }
}

// No agent and the queue's default policy, Print: the same bytes again.
TEST_F(CupsDymoTest, NoAgentPrintPolicyGivesThePrinterQueuesBytes)
{
    for (const DymoPrinter &printer : kPrinters) {
        SCOPED_TRACE(printer.queue);
        const QByteArray direct = s_directOf.value(QString::fromLatin1(printer.queue));
        ASSERT_FALSE(direct.isEmpty()) << "the printer queue printed nothing";
        const QByteArray out = PrintThroughPreview(printer);
        EXPECT_TRUE(out == direct) << out.size() << " bytes, the printer queue's " << direct.size();
        EXPECT_TRUE(CPrivateCups::Instance().JobStatus(m_job).startsWith(
            QStringLiteral("Printed without preview: no preview agent of root")));
    }
}

} // namespace
