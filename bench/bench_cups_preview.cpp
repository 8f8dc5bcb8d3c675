// The preview queue against the direct queue, in a private CUPS scheduler, measured in one run
// (medians of CUPS_BENCH_RUNS runs, default 3):
//   cups_lp_to_page1_{1,40}p_ms      from lp to page 1 complete at the agent (the agent writes it and
//                                    opens the window then), for a 1-page and a 40-page PDF
//   cups_page1_40p_over_1p           their ratio: page 1 must not wait for the rest (target <= 1.2)
//   cups_lp_to_raster_{1,40}p_ms     of that, the part before corvane-cups has page 1's header: CUPS and
//                                    the rasterizers (pdftopdf reads the whole PDF before its first page)
//   cups_raster_to_page1_{1,40}p_ms  the part of corvane-cups: from page 1's header to its last row at
//                                    the agent, and cups_raster_to_page1_40p_over_1p their ratio
//   cups_print_to_last_byte_40p_ms   from the print decision to the job's end (the last byte written
//                                    to the device)
//   cups_direct_lp_to_last_byte_40p_ms  the direct queue's whole job, from lp to its end
//   cups_print_over_direct_40p       their ratio: printing from the preview runs only the printer's
//                                    filter on the spooled raster
// The agent's side of those is the tests' stand-in agent, so they are the figures of the CUPS chain and
// corvane-cups. Where corvane-agent is built, the same jobs also go to the real agent and preview (on
// the offscreen platform):
//   cups_lp_to_window_{1,40}p_ms     from lp to the preview's window open on page 1 (the agent's report
//                                    of WM_PREVIEW_OPENED), and cups_window_40p_over_1p their ratio
//   cups_lp_to_window_{foomatic,driverless}_1p_ms  the same on the other forms' preview queues, and
//                                    cups_window_{foomatic,driverless}_over_raster_1p (target <= 1.3)
// The other driver forms against the raster queue, same documents, same run: from lp to page 1 complete
// at the stand-in agent, on the preview queue of a Foomatic driver (corvane-cups gets PDF and has CUPS's
// gstoraster make the raster copy it shows) and of a driverless printer (ippeveprinter; PWG raster):
//   cups_forms_lp_to_page1_{raster,foomatic,driverless}_{1,40}p_ms
//   cups_{foomatic,driverless}_over_raster_{1,40}p   their ratios to the raster queue (target <= 1.3)
// Needs root (the scheduler runs filters as lp); elsewhere it says so and skips.
#include "FakeAgent.h"
#include "FormQueues.h"
#include "IppPrinter.h"
#include "PrivateCups.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct PreviewRun {
    double rasterMs = -1;
    double page1Ms = -1;
    double printMs = -1;
};

PreviewRun RunPreview(const CPrivateCups &cups, const QString &pdf)
{
    PreviewRun run;
    CFakeAgent agent(CFakeAgent::Answer::Hold);
    const Clock::time_point start = Clock::now();
    const int job = cups.Submit(QStringLiteral("preview"), pdf);
    if (job == 0 || !agent.WaitFor([](const CFakeAgent::Seen &s) { return s.endCount >= 0; }, 120000))
        return run;
    run.page1Ms = Ms(agent.Snapshot().firstPageAt - start);
    run.rasterMs = Ms(agent.Snapshot().jobAt - start);
    const Clock::time_point press = Clock::now();
    agent.Decide(agentwire::PRINT);
    if (cups.WaitForJobEnd(job, 120000) == QStringLiteral("completed"))
        run.printMs = Ms(Clock::now() - press);
    return run;
}

double RunDirect(const CPrivateCups &cups, const QString &pdf)
{
    const Clock::time_point start = Clock::now();
    const int job = cups.Submit(QStringLiteral("direct"), pdf);
    if (job == 0 || cups.WaitForJobEnd(job, 120000) != QStringLiteral("completed"))
        return -1;
    return Ms(Clock::now() - start);
}

// lp to the real preview's window, through corvane-agent; -1 when it did not open.
double RunWindow(const CPrivateCups &cups, QProcess &agent, QString &log, const QString &pdf,
                 const QString &queue = QStringLiteral("preview"))
{
    const Clock::time_point start = Clock::now();
    const int job = cups.Submit(queue, pdf);
    const QRegularExpression opened(QStringLiteral("job %1: preview window \\S+ open").arg(job));
    double ms = -1;
    while (job != 0 && Ms(Clock::now() - start) < 120000) {
        log += QString::fromUtf8(agent.readAll());
        if (opened.match(log).hasMatch()) {
            ms = Ms(Clock::now() - start);
            break;
        }
        agent.waitForReadyRead(5);
    }
    cups.Client(QStringLiteral("cancel"), {QString::number(job)});
    cups.WaitForJobEnd(job);
    return ms;
}

void BenchWindow(const CPrivateCups &cups, const QString &one, const QString &forty, int runs)
{
    const QString program = QStringLiteral(CORVANE_BINARY_DIR "/corvane-agent");
    if (!QFile::exists(program)) {
        std::printf("# cups_lp_to_window: corvane-agent is not built; skipped\n");
        return;
    }
    QTemporaryDir runtime;
    QProcess agent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    agent.setProcessEnvironment(env);
    agent.setProcessChannelMode(QProcess::MergedChannels);
    agent.start(program, {});
    QString log;
    while (agent.waitForReadyRead(5000)) {
        log += QString::fromUtf8(agent.readAll());
        if (log.contains(QStringLiteral("listening")))
            break;
    }
    std::vector<double> windowOne, windowForty, windowFoomatic, windowDriverless;
    for (int i = 0; i < runs; ++i) {
        windowOne.push_back(RunWindow(cups, agent, log, one));
        windowForty.push_back(RunWindow(cups, agent, log, forty));
        windowFoomatic.push_back(RunWindow(cups, agent, log, one, QStringLiteral("foomatic-preview")));
        windowDriverless.push_back(RunWindow(cups, agent, log, one, QStringLiteral("driverless-preview")));
    }
    agent.terminate();
    agent.waitForFinished(10000);
    const double w1 = Median(windowOne), w40 = Median(windowForty);
    if (w1 < 0 || w40 < 0) {
        std::printf("# cups_lp_to_window: the preview did not open; the agent said:\n%s\n",
                    log.toUtf8().constData());
        return;
    }
    std::printf("cups_lp_to_window_1p_ms %.1f ms\n", w1);
    std::printf("cups_lp_to_window_40p_ms %.1f ms\n", w40);
    std::printf("cups_window_40p_over_1p %.2f x (target <= 1.2)\n", w40 / w1);
    const double foomatic = Median(windowFoomatic), driverless = Median(windowDriverless);
    if (foomatic < 0 || driverless < 0) {
        std::printf("# cups_lp_to_window of the other forms: the preview did not open\n");
        return;
    }
    std::printf("cups_lp_to_window_foomatic_1p_ms %.1f ms\n", foomatic);
    std::printf("cups_lp_to_window_driverless_1p_ms %.1f ms\n", driverless);
    std::printf("cups_window_foomatic_over_raster_1p %.2f x (target <= 1.3)\n", foomatic / w1);
    std::printf("cups_window_driverless_over_raster_1p %.2f x (target <= 1.3)\n", driverless / w1);
}

// lp to page 1 complete at the stand-in agent on queue; -1 when it did not come.
double FirstPage(const CPrivateCups &cups, const QString &queue, const QString &pdf)
{
    CFakeAgent agent(CFakeAgent::Answer::Cancel);
    const Clock::time_point start = Clock::now();
    const int job = cups.Submit(queue, pdf);
    if (job == 0 || !agent.WaitFor([](const CFakeAgent::Seen &s) { return s.endCount >= 0; }, 120000))
        return -1;
    const double ms = Ms(agent.Snapshot().firstPageAt - start);
    return cups.WaitForJobEnd(job, 120000) == QStringLiteral("completed") ? ms : -1;
}

// The Foomatic and the driverless queue and their preview queues; empty on success, else why not.
QString AddForms(const CPrivateCups &cups, const CIppPrinter &printer)
{
    const QString broken =
        AddFormQueues(cups, QStringLiteral("foomatic"),
                      QStringLiteral(CORVANE_SOURCE_DIR "/tests/cups/data/foomatic-label.ppd"), {});
    if (!broken.isEmpty())
        return broken;
    return printer.Broken().isEmpty() ? AddFormQueues(cups, QStringLiteral("driverless"), {}, printer.Uri())
                                      : printer.Broken();
}

bool BenchForms(const CPrivateCups &cups, const QString &one, const QString &forty, int runs)
{
    const char *const names[] = {"raster", "foomatic", "driverless"};
    const QString queues[] = {QStringLiteral("preview"), QStringLiteral("foomatic-preview"),
                              QStringLiteral("driverless-preview")};
    std::vector<double> times[3][2];
    for (int i = 0; i < runs; ++i) {
        for (int q = 0; q < 3; ++q) {
            times[q][0].push_back(FirstPage(cups, queues[q], one));
            times[q][1].push_back(FirstPage(cups, queues[q], forty));
            if (times[q][0].back() < 0 || times[q][1].back() < 0) {
                std::fprintf(stderr, "bench_cups_preview: a job on %s did not reach the agent\n", names[q]);
                return false;
            }
        }
    }
    const int pages[] = {1, 40};
    for (int d = 0; d < 2; ++d) {
        for (int q = 0; q < 3; ++q)
            std::printf("cups_forms_lp_to_page1_%s_%dp_ms %.1f ms\n", names[q], pages[d],
                        Median(times[q][d]));
        for (int q = 1; q < 3; ++q)
            std::printf("cups_%s_over_raster_%dp %.2f x (target <= 1.3)\n", names[q], pages[d],
                        Median(times[q][d]) / Median(times[0][d]));
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const CPrivateCups &cups = CPrivateCups::Instance();
    if (!cups.Missing().isEmpty()) {
        std::printf("# bench_cups_preview skipped: %s\n", cups.Missing().toUtf8().constData());
        return 0;
    }
    if (!cups.Broken().isEmpty()) {
        std::fprintf(stderr, "bench_cups_preview: %s\n", cups.Broken().toUtf8().constData());
        return 1;
    }
    const QString one = cups.LabelPdf(1);
    const QString forty = cups.LabelPdf(40);
    if (one.isEmpty() || forty.isEmpty()) {
        std::fprintf(stderr, "bench_cups_preview: gs cannot make the PDFs\n");
        return 1;
    }
    const int runs = std::max(1, qEnvironmentVariableIntValue("CUPS_BENCH_RUNS") > 0
                                     ? qEnvironmentVariableIntValue("CUPS_BENCH_RUNS")
                                     : 3);
    RunDirect(cups, one); // warms the page cache and the scheduler
    std::vector<double> page1One, page1Forty, rasterOne, rasterForty, printForty, directForty;
    for (int i = 0; i < runs; ++i) {
        const PreviewRun a = RunPreview(cups, one);
        const PreviewRun b = RunPreview(cups, forty);
        const double direct = RunDirect(cups, forty);
        if (a.page1Ms < 0 || b.page1Ms < 0 || b.printMs < 0 || direct < 0) {
            std::fprintf(stderr, "bench_cups_preview: a job did not complete\n");
            return 1;
        }
        page1One.push_back(a.page1Ms);
        rasterOne.push_back(a.rasterMs);
        rasterForty.push_back(b.rasterMs);
        page1Forty.push_back(b.page1Ms);
        printForty.push_back(b.printMs);
        directForty.push_back(direct);
    }
    const double p1 = Median(page1One), p40 = Median(page1Forty);
    const double print = Median(printForty), direct = Median(directForty);
    std::printf("cups_lp_to_page1_1p_ms %.1f ms\n", p1);
    std::printf("cups_lp_to_page1_40p_ms %.1f ms\n", p40);
    std::printf("cups_page1_40p_over_1p %.2f x (target <= 1.2)\n", p40 / p1);
    const double r1 = Median(rasterOne), r40 = Median(rasterForty);
    std::printf("cups_lp_to_raster_1p_ms %.1f ms\n", r1);
    std::printf("cups_lp_to_raster_40p_ms %.1f ms\n", r40);
    std::printf("cups_raster_to_page1_1p_ms %.1f ms\n", p1 - r1);
    std::printf("cups_raster_to_page1_40p_ms %.1f ms\n", p40 - r40);
    std::printf("cups_raster_to_page1_40p_over_1p %.2f x\n", (p40 - r40) / (p1 - r1));
    std::printf("cups_print_to_last_byte_40p_ms %.1f ms\n", print);
    std::printf("cups_direct_lp_to_last_byte_40p_ms %.1f ms\n", direct);
    std::printf("cups_print_over_direct_40p %.2f x\n", print / direct);
    CIppPrinter printer(cups.Dir() + QStringLiteral("/ipp-driverless"), 18631);
    if (const QString broken = AddForms(cups, printer); !broken.isEmpty()) {
        std::fprintf(stderr, "bench_cups_preview: %s\n", broken.toUtf8().constData());
        return 1;
    }
    BenchWindow(cups, one, forty, runs);
    return BenchForms(cups, one, forty, runs) ? 0 : 1;
}
