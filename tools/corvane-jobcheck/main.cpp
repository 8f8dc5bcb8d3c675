// corvane-jobcheck: reads a job description file as the preview does and prints what it holds.
#include "JobReport.h"
#include "PageReport.h"

#include "app/CommandLine.h"

#include <QStringList>

#include <cstdio>

namespace {

const char kUsage[] = "usage: corvane-jobcheck JOBFILE\n"
                      "       corvane-jobcheck JOBFILE --pages\n"
                      "       corvane-jobcheck --page FILE.bmp [--png OUT.png]\n"
                      "       corvane-jobcheck --help\n"
                      "(a file whose name begins with '-' is given as ./-name)\n";
// What --help tells beyond the usage.
const char kDescription[] =
    "Reads a preview job file with the preview's own code and prints what it holds as JSON: the error\n"
    "number the preview would show, or the job's settings (--pages: each page file too). --page decodes\n"
    "one page file as the preview does; --png also writes it as a PNG file.\n"
    "Exit status: 0 the preview takes the job file (--page: the page was looked at), 1 it would refuse\n"
    "it or the PNG file could not be written, 2 wrong command line.\n";

int Usage(const QString &complaint)
{
    if (!complaint.isEmpty())
        std::fprintf(stderr, "corvane-jobcheck: %s\n", complaint.toUtf8().constData());
    std::fputs(kUsage, stderr);
    return 2;
}

bool IsOption(const QString &argument)
{
    return argument.startsWith(u'-');
}

} // namespace

int main(int argc, char **argv)
{
    // File names as the bytes they are.
    const QStringList args = DecodeArguments(argc, argv);

    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        std::fputs(kDescription, stdout);
        return 0;
    }
    static const QStringList known = {QStringLiteral("--pages"), QStringLiteral("--page"),
                                      QStringLiteral("--png")};
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (IsOption(args[i]) && !known.contains(args[i]))
            return Usage(QStringLiteral("unknown option ") + args[i]);
        if (args[i] == QStringLiteral("--page") || args[i] == QStringLiteral("--png"))
            ++i; // its value may be any name
    }

    // One mode per argument shape.
    if (args.size() == 1 && !IsOption(args[0]))
        return RunJobReport(args[0]);
    if (args.size() == 2 && args[1] == QStringLiteral("--pages") && !IsOption(args[0]))
        return RunPagesReport(args[0]);
    if (args.size() >= 2 && args[0] == QStringLiteral("--page") &&
        (args.size() == 2 || (args.size() == 4 && args[2] == QStringLiteral("--png"))))
        return RunPageReport(args[1], args.size() == 4 ? args[3] : QString());
    return Usage(QString());
}
