#include "FilterJob.h"

#include "cups/PreviewPpd.h"

#include <cups/cups.h>
#include <cups/ppd.h>

// CUPS marks its PPD API deprecated for applications, but a filter of a PPD queue has no other way to
// read its PPD; this file is the only user.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cstdlib>

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

QByteArray CFilterJob::ResolveProgram(const QByteArray &filterValue, const QByteArray &serverBin,
                                      QString *why)
{
    const QList<QByteArray> fields = filterValue.simplified().split(' ');
    if (fields.size() != 3 && fields.size() != 4) {
        *why = QStringLiteral("*%1 \"%2\" is not a filter line (type cost program)")
                   .arg(QLatin1String(kFilterKeyword), QString::fromUtf8(filterValue));
        return {};
    }
    const QByteArray program = fields.last();
    if (program == "-" || program.startsWith('/'))
        return program;
    if (program.contains('/')) {
        *why = QStringLiteral("*%1 names \"%2\": a filter is a name in the filter folder or a full path")
                   .arg(QLatin1String(kFilterKeyword), QString::fromUtf8(program));
        return {};
    }
    return serverBin + "/filter/" + program;
}

bool CFilterJob::ReadQueue(QStringList *notes, QString *why)
{
    const char *ppdPath = std::getenv("PPD");
    ppd_file_t *ppd = ppdPath != nullptr ? ppdOpenFile(ppdPath) : nullptr;
    if (ppd == nullptr) {
        *why = ppdPath == nullptr
                   ? QStringLiteral("no PPD file (the queue has no driver)")
                   : QStringLiteral("the PPD file %1 cannot be read").arg(QString::fromLocal8Bit(ppdPath));
        return false;
    }
    bool ok = true;
    if (ppd_attr_t *attr = ppdFindAttr(ppd, kFilterKeyword, nullptr);
        attr == nullptr || attr->value == nullptr) {
        *why = QStringLiteral("the PPD has no *%1: it is not a preview queue's")
                   .arg(QLatin1String(kFilterKeyword));
        ok = false;
    } else {
        const char *serverBin = std::getenv("CUPS_SERVERBIN");
        m_printerFilter = ResolveProgram(
            attr->value, serverBin != nullptr && *serverBin != '\0' ? serverBin : "/usr/lib/cups", why);
        ok = !m_printerFilter.isEmpty();
    }

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
    m_policySource =
        QStringLiteral("%1 %2=%3")
            .arg(fromJob ? QStringLiteral("the job's options say") : QStringLiteral("the queue's default is"),
                 QLatin1String(kOptionKeyword), QString::fromUtf8(choice));
    cupsFreeOptions(count, options);
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
