// CFilterJob: the scheduler's arguments, the queue's PPD and the choice of the printer's filter.
#include "FilterJob.h"

#include "cups/PreviewPpd.h"

#include <cups/cups.h>
#include <cups/ppd.h>

// CUPS marks its PPD API deprecated for applications, but a filter of a PPD queue has no other way to
// read its PPD; this file is the only user.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <QFile>

// The names the preview PPD gives the printer's filter and the option for jobs without a preview.
using previewppd::kFilterKeyword;
using previewppd::kOptionKeyword;

bool CFilterJob::ParseArguments(int argc, char **argv, QString *why)
{
    if (argc != 6 && argc != 7) {
        *why = QStringLiteral("usage: corvane-cups job-id user title copies options [file] "
                              "(a CUPS filter, run by the scheduler)");
        return false;
    }
    bool ok = false;
    m_jobId = QByteArray(argv[1]).toUInt(&ok);
    if (!ok) {
        *why = QStringLiteral("job id \"%1\" is not a number").arg(QString::fromLocal8Bit(argv[1]));
        return false;
    }
    m_user = argv[2];
    m_title = argv[3];
    const quint32 copies = QByteArray(argv[4]).toUInt(&ok);
    m_copies = ok && copies > 0 ? copies : 1;
    m_options = argv[5];
    m_file = argc == 7 ? QByteArray(argv[6]) : QByteArray();
    m_argv = argv;
    return true;
}

QByteArray CFilterJob::ResolveProgram(const QByteArray &program, const QByteArray &serverBin, QString *why)
{
    if (program == "-" || program.startsWith('/'))
        return program;
    if (program.contains('/') || program.contains(' ') || program.isEmpty()) {
        *why = QStringLiteral("*%1 names \"%2\": a filter is a name in the filter folder or a full path")
                   .arg(QLatin1String(kFilterKeyword), QString::fromUtf8(program));
        return {};
    }
    return serverBin + "/filter/" + program;
}

bool CFilterJob::ReadQueue(const FilterEnvironment &environment, QStringList *notes, QString *why)
{
    const char *ppdPath = environment.ppd.isEmpty() ? nullptr : environment.ppd.constData();
    ppd_file_t *ppd = ppdPath != nullptr ? ppdOpenFile(ppdPath) : nullptr;
    if (ppd == nullptr) {
        *why = ppdPath == nullptr
                   ? QStringLiteral("no PPD file (the queue has no driver)")
                   : QStringLiteral("the PPD file %1 cannot be read").arg(QString::fromLocal8Bit(ppdPath));
        return false;
    }
    // The printer's filters, one for each input the queue takes.
    QFile file(QFile::decodeName(ppdPath));
    const QList<previewppd::Filter> filters = file.open(QIODevice::ReadOnly)
                                                  ? previewppd::PrinterFilters(file.readAll())
                                                  : QList<previewppd::Filter>();
    bool ok = true;
    const QByteArray &folder = environment.serverBin;
    for (const previewppd::Filter &filter : filters) {
        m_filters.append({filter.source, ResolveProgram(filter.program, folder, why)});
        if (m_filters.last().program.isEmpty()) {
            ok = false;
            break;
        }
    }
    if (m_filters.isEmpty()) {
        *why = QStringLiteral("the PPD has no *%1: it is not the PPD of a preview queue")
                   .arg(QLatin1String(kFilterKeyword));
        ok = false;
    }
    if (ok)
        ChooseFilter(inputkind::Kind::Unknown);

    // The job's option over the queue's default, the PPD's default choice (which lpadmin -o
    // CorvaneWithoutSession=... rewrites). The scheduler puts a queue's IPP default (lpadmin -o
    // CorvaneWithoutSession-default=...) among the job's options too, so those are "the job's options".
    cups_option_t *options = nullptr;
    const int count = cupsParseOptions(m_options.constData(), 0, &options);
    QByteArray choice = cupsGetOption(kOptionKeyword, count, options);
    QByteArray queueChoice;
    if (ppd_option_t *option = ppdFindOption(ppd, kOptionKeyword))
        queueChoice = option->defchoice;
    const bool fromJob = !choice.isEmpty() && choice != queueChoice;
    if (!fromJob)
        choice = queueChoice;
    m_policySource = QStringLiteral("%1 %2=%3")
                         .arg(fromJob ? QStringLiteral("the options of the job say")
                                      : QStringLiteral("the default of the queue is"),
                              QLatin1String(kOptionKeyword), QString::fromUtf8(choice));
    cupsFreeOptions(count, options);
    for (int i = 0; i < ppd->num_sizes; ++i) {
        const ppd_size_t &s = ppd->sizes[i];
        m_paperSizes.append(PaperSize{s.name, s.width, s.length, s.left, s.bottom, s.right, s.top});
    }
    ppdClose(ppd);
    if (choice.compare("Drop", Qt::CaseInsensitive) == 0) {
        m_policy = WithoutSession::Drop;
    } else {
        m_policy = WithoutSession::Print;
        if (choice.compare("Print", Qt::CaseInsensitive) != 0) {
            if (!choice.isEmpty())
                notes->append(
                    QStringLiteral("%1=%2 is not a choice (Print or Drop); printing without preview")
                        .arg(QLatin1String(kOptionKeyword), QString::fromUtf8(choice)));
            m_policySource = QStringLiteral("the default of %1").arg(QLatin1String(kOptionKeyword));
        }
    }
    return ok;
}

bool CFilterJob::ChooseFilter(inputkind::Kind kind)
{
    const Filter *chosen = m_filters.isEmpty() ? nullptr : &m_filters.first();
    for (const Filter &filter : m_filters) {
        if (inputkind::Takes(filter.source, kind)) {
            chosen = &filter;
            break;
        }
    }
    if (chosen == nullptr)
        return false;
    m_printerFilter = chosen->program;
    m_printerFilterSource = chosen->source;
    return !inputkind::Takes(chosen->source, inputkind::Kind::Raster);
}
