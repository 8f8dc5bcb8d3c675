// corvane-jobcheck: reads a job description file as the preview does and prints what it holds.
#include "JobReport.h"
#include "PageReport.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

// --help asks for the usage: stdout and success; any other wrong call gets it on stderr as an error.
int Usage(bool asked)
{
    std::fputs("usage: corvane-jobcheck JOBFILE\n"
               "       corvane-jobcheck JOBFILE --pages\n"
               "       corvane-jobcheck --page FILE.bmp [--png OUT.png]\n"
               "       corvane-jobcheck --help\n",
               asked ? stdout : stderr);
    return asked ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QFile::decodeName(argv[i]));

    if (args.size() == 1 && (args[0] == QStringLiteral("--help") || args[0] == QStringLiteral("-h")))
        return Usage(true);
    // One mode per argument shape.
    if (args.size() == 1 && !args[0].startsWith(QStringLiteral("--")))
        return RunJobReport(args[0]);
    if (args.size() == 2 && args[1] == QStringLiteral("--pages") && !args[0].startsWith(QStringLiteral("--")))
        return RunPagesReport(args[0]);
    if (args.size() >= 2 && args[0] == QStringLiteral("--page") &&
        !args[1].startsWith(QStringLiteral("--")) &&
        (args.size() == 2 || (args.size() == 4 && args[2] == QStringLiteral("--png"))))
        return RunPageReport(args[1], args.size() == 4 ? args[3] : QString());
    return Usage(false);
}
