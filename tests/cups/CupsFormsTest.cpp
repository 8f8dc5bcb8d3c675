// corvane-cups in front of the other driver forms a CUPS queue has, each against the same printer's
// queue without the preview: a Foomatic driver (foomatic-rip runs Ghostscript into the sample label
// filter; corvane-cups gets PDF) and driverless IPP Everywhere printers (ippeveprinter) that take PWG
// raster or PDF, which goes to the printer as it is.
#include "CupsFilterFixture.h"
#include "FormQueues.h"
#include "IppPrinter.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <map>
#include <memory>

namespace {

// Where a form's queues print: a file: device, or the driverless printer.
struct FormCase {
    const char *name;
    const char *queue; // the printer's own queue; its preview queue is QUEUE-preview
    // The long job to cancel: PDF, or for "image/pwg-raster" PWG raster (CUPS's own rasterizer before
    // the preview would leave its temporary files behind, as it does on the printer's queue).
    const char *longFormat;
    const char *badFormat;
    QByteArray badDocument; // a document the form's road rejects
    const char *badStatus;
    // The printer gets PDF: CUPS's pdftopdf gives every job's PDF a trailer /ID of its own, which the
    // comparison leaves out.
    bool pdf = false;
};

QByteArray WithoutPdfId(const QByteArray &pdf)
{
    QString text = QString::fromLatin1(pdf);
    text.replace(QRegularExpression(QStringLiteral("/ID *\\[ *<[0-9a-fA-F]*> *<[0-9a-fA-F]*> *\\]")),
                 QStringLiteral("/ID []"));
    return text.toLatin1();
}

void PrintTo(const FormCase &c, std::ostream *os)
{
    *os << c.name;
}

class CupsFormsTest : public CupsFilterTest, public ::testing::WithParamInterface<FormCase> {
protected:
    static void SetUpTestSuite()
    {
        CupsFilterTest::SetUpTestSuite();
        const CPrivateCups &cups = CPrivateCups::Instance();
        if (!cups.Missing().isEmpty() || !cups.Broken().isEmpty())
            return;
        s_broken[QStringLiteral("foomatic")] =
            AddFormQueues(cups, QStringLiteral("foomatic"),
                          QStringLiteral(CORVANE_SOURCE_DIR "/tests/cups/data/foomatic-label.ppd"), {});
        const struct {
            QString queue;
            quint16 port;
            QByteArray format;
        } driverless[] = {{QStringLiteral("driverless"), 18631, "image/pwg-raster"},
                          {QStringLiteral("driverlesspdf"), 18632, "application/pdf"}};
        for (const auto &d : driverless) {
            auto &printer = s_printers[d.queue];
            printer = std::make_unique<CIppPrinter>(cups.Dir() + QStringLiteral("/ipp-") + d.queue, d.port,
                                                    d.format);
            s_broken[d.queue] = printer->Broken().isEmpty() ? AddFormQueues(cups, d.queue, {}, printer->Uri())
                                                            : printer->Broken();
        }
    }

    static void TearDownTestSuite() { s_printers.clear(); }

    void SetUp() override
    {
        CupsFilterTest::SetUp();
        m_queue = QLatin1String(GetParam().queue);
        ASSERT_TRUE(s_broken.value(m_queue).isEmpty()) << s_broken.value(m_queue).toStdString();
        m_preview = m_queue + QStringLiteral("-preview");
        m_tempBefore = CPrivateCups::Instance().TempFiles();
    }

    // Prints file on queue; the job's end state and, through out, what the printer received.
    QString Print(const QString &queue, const QString &file, const QStringList &options, QByteArray *out)
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        ClearOutput();
        m_job = cups.Submit(queue, file, options);
        const QString state = m_job == 0 ? QStringLiteral("not submitted") : cups.WaitForJobEnd(m_job);
        *out = GetParam().pdf ? WithoutPdfId(Output()) : Output();
        return state;
    }

    // What the printer of the form received: the file: device's file, or the driverless printer's
    // documents.
    QByteArray Output() const
    {
        const auto printer = s_printers.find(m_queue);
        return printer != s_printers.end() ? printer->second->Received()
                                           : CPrivateCups::Instance().Output(m_queue);
    }

    void ClearOutput() const
    {
        CPrivateCups::Instance().ClearOutput(m_queue);
        if (const auto printer = s_printers.find(m_queue); printer != s_printers.end())
            printer->second->Clear();
    }

    void ExpectReady()
    {
        const CPrivateCups &cups = CPrivateCups::Instance();
        EXPECT_TRUE(cups.QueueState(m_preview).contains(QStringLiteral("is idle.  enabled")))
            << cups.QueueState(m_preview).toStdString();
        EXPECT_EQ(cups.TempFiles(), m_tempBefore);
    }

    static inline QMap<QString, QString> s_broken; // by queue: why its queues are missing
    static inline std::map<QString, std::unique_ptr<CIppPrinter>> s_printers; // by queue
    QString m_queue;
    QString m_preview;
};

// Every page reaches the preview at the label's size; Print gives the direct queue's bytes; Cancel
// prints nothing; without an agent the policy prints those bytes or drops the job.
TEST_P(CupsFormsTest, PrintsWhatThePrintersQueuePrints)
{
    const CPrivateCups &cups = CPrivateCups::Instance();
    QByteArray direct, out;
    ASSERT_EQ(Print(m_queue, s_pdf, {}, &direct), QStringLiteral("completed"));
    ASSERT_FALSE(direct.isEmpty());
    {
        CFakeAgent agent(CFakeAgent::Answer::Print);
        EXPECT_EQ(Print(m_preview, s_pdf, {}, &out), QStringLiteral("completed"));
        EXPECT_TRUE(out == direct) << out.size() << " bytes, the printer's queue's " << direct.size();
        const CFakeAgent::Seen seen = agent.Snapshot();
        EXPECT_TRUE(seen.problem.isEmpty()) << seen.problem.toStdString();
        EXPECT_EQ(seen.endCount, 3);
        ASSERT_EQ(seen.pages.size(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(seen.pages[i].xDpi, 300u);
            // 1.125 x 3.5 in, the label of both printers; PWG raster gives it in whole dots (1/300 in).
            EXPECT_NEAR(seen.pages[i].widthUm, 28575, 85);
            EXPECT_NEAR(seen.pages[i].lengthUm, 88900, 85);
            EXPECT_EQ(seen.pageBytes[i], agentwire::RowBytes(seen.pages[i]) * seen.pages[i].height);
        }
    }
    ExpectReady();
    {
        CFakeAgent agent(CFakeAgent::Answer::Cancel);
        EXPECT_EQ(Print(m_preview, s_pdf, {}, &out), QStringLiteral("completed"));
        EXPECT_TRUE(out.isEmpty()) << out.size() << " bytes printed after Cancel";
        EXPECT_TRUE(cups.JobStatus(m_job).startsWith(QStringLiteral("Cancelled in the preview")))
            << cups.JobStatus(m_job).toStdString();
    }
    ExpectReady();
    EXPECT_EQ(Print(m_preview, s_pdf, {}, &out), QStringLiteral("completed"));
    EXPECT_TRUE(out == direct) << "no agent, policy Print: " << out.size() << " bytes";
    EXPECT_EQ(Print(m_preview, s_pdf, {QStringLiteral("CorvaneWithoutSession=Drop")}, &out),
              QStringLiteral("completed"));
    EXPECT_TRUE(out.isEmpty()) << "no agent, policy Drop: " << out.size() << " bytes";
    EXPECT_TRUE(cups.JobStatus(m_job).startsWith(QStringLiteral("Not printed, without preview")))
        << cups.JobStatus(m_job).toStdString();
    ExpectReady();
}

// Whether a process whose command line holds text is running.
bool Running(const QByteArray &text)
{
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text))
            return true;
    }
    return false;
}

// `cancel` while the preview is open ends the filter and every process it started, and prints nothing; a
// document the form's road cannot read is a clear error, with nothing printed.
TEST_P(CupsFormsTest, CancelledWhileOpenOrRejected)
{
    const FormCase &c = GetParam();
    const CPrivateCups &cups = CPrivateCups::Instance();
    const QByteArray title = "forms-" + QByteArray(c.name) + QByteArray::number(::getpid());
    {
        // 40 pages, and an agent that stops reading in page 1: the rasterizers are still at work.
        CFakeAgent agent(CFakeAgent::Answer::StallInPage);
        ClearOutput();
        QString document = cups.LabelPdf(40);
        if (QByteArray(c.longFormat) == "image/pwg-raster") {
            const QString pwg = cups.Dir() + QStringLiteral("/label40.pwg");
            ASSERT_EQ(
                QProcess::execute(QStringLiteral("gs"),
                                  {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"),
                                   QStringLiteral("-dBATCH"), QStringLiteral("-sDEVICE=pwgraster"),
                                   QStringLiteral("-r300"), QStringLiteral("-sOutputFile=") + pwg, document}),
                0);
            document = pwg;
        }
        m_job = cups.Submit(m_preview, document,
                            {QStringLiteral("job-name=") + QString::fromLatin1(title),
                             QStringLiteral("document-format=") + QLatin1String(c.longFormat)});
        ASSERT_TRUE(agent.WaitFor(
            [](const CFakeAgent::Seen &s) { return !s.pageBytes.isEmpty() && s.pageBytes[0] > 0; }));
        EXPECT_TRUE(Running(title));
        EXPECT_EQ(cups.Client(QStringLiteral("cancel"), {QString::number(m_job)}), 0);
        EXPECT_TRUE(agent.WaitFor([](const CFakeAgent::Seen &s) { return s.closedByFilter; }, 10000));
        EXPECT_EQ(cups.WaitForJobEnd(m_job), QStringLiteral("canceled"));
        for (int i = 0; i < 250 && Running(title); ++i)
            QThread::msleep(20);
        EXPECT_FALSE(Running(title)) << "a process of the cancelled job is still running";
        EXPECT_TRUE(Output().isEmpty());
    }
    ExpectReady();
    const QString bad = cups.Dir() + QStringLiteral("/bad-%1").arg(QLatin1String(c.name));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(c.badDocument) == c.badDocument.size());
    file.close();
    CFakeAgent agent(CFakeAgent::Answer::Print);
    QByteArray out;
    EXPECT_EQ(Print(m_preview, bad, {QStringLiteral("document-format=") + QLatin1String(c.badFormat)}, &out),
              QStringLiteral("completed"));
    EXPECT_TRUE(out.isEmpty()) << out.size() << " bytes printed of a bad document";
    EXPECT_TRUE(cups.JobStatus(m_job).startsWith(QLatin1String(c.badStatus)))
        << cups.JobStatus(m_job).toStdString();
    EXPECT_EQ(agent.Snapshot().endCount, -1) << "a bad document was completed for the preview";
    ExpectReady();
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CupsFormsTest,
    ::testing::Values(
        FormCase{"Foomatic", "foomatic", "application/pdf", "application/vnd.cups-pdf",
                 QByteArrayLiteral("%PDF-1.7\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\nno PDF\n"),
                 "The document of the job cannot be rasterized for the preview, nothing was printed: "
                 "gstoraster: "},
        FormCase{
            "DriverlessPdf", "driverlesspdf", "application/pdf", "application/vnd.cups-pdf",
            QByteArrayLiteral("%PDF-1.7\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\nno PDF\n"),
            "The document of the job cannot be rasterized for the preview, nothing was printed: gstoraster: ",
            true},
        FormCase{"Driverless", "driverless", "image/pwg-raster", "image/pwg-raster",
                 QByteArray("RaS2\0\0\0\0PwgRaster", 17),
                 "The raster of the job is damaged, nothing was printed: "}),
    [](const ::testing::TestParamInfo<FormCase> &param) { return std::string(param.param.name); });

} // namespace
