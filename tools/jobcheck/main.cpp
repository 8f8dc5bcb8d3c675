// corvane-jobcheck: reads a job description file as the preview does and prints what it holds.
#include "JobReport.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

int Usage()
{
    std::fputs("usage: corvane-jobcheck JOBFILE\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QFile::decodeName(argv[i]));

    // One mode per argument shape.
    if (args.size() == 1 && !args[0].startsWith(QStringLiteral("--")))
        return RunJobReport(args[0]);
    return Usage();
}
