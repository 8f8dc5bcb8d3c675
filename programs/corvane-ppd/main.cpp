// corvane-ppd: writes a preview PPD made from a printer's PPD.
#include "cups/PreviewPpd.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

constexpr char kHelp[] =
    "usage: corvane-ppd PPD [-o FILE]\n"
    "Writes a preview PPD made from a printer's PPD to standard output, or to FILE.\n"
    "The preview PPD keeps every statement of PPD byte for byte (*ModelName and every option, page size\n"
    "and resolution: the printer's filters read them) but the names printer lists show (*NickName,\n"
    "*ShortNickName) and the filter lines. corvane-cups takes the place of the printer's filter for each\n"
    "input it previews (CUPS or PWG raster, PDF, PostScript): a raster driver, a PDF or PostScript driver\n"
    "(Foomatic), a driverless printer (program \"-\"), a PostScript printer (no filter line). It keeps\n"
    "each original line in *CorvaneFilter and hands the job on after the preview. Filter lines for other\n"
    "printable inputs (image/urf, ...) are left out. The option CorvaneWithoutSession says what a job\n"
    "does when no preview can be shown: Print (the default) or Drop. PPD \"-\" reads standard input.\n"
    "Refused, with the reason on standard error: a PPD whose printer takes none of those inputs, a preview\n"
    "PPD, a file that is not a PPD.\n"
    "  -o FILE     write to FILE (replaced only when the preview PPD is complete)\n"
    "  -h, --help  show this text\n"
    "Exit status: 0 written, 1 refused or not written, 2 wrong command line.\n";

int Fail(const QString &what)
{
    std::fprintf(stderr, "corvane-ppd: %s\n", what.toLocal8Bit().constData());
    return 1;
}

int Usage()
{
    std::fputs("usage: corvane-ppd PPD [-o FILE]   (corvane-ppd --help tells more)\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QString input;
    QString output;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == QStringLiteral("-o") && i + 1 < argc && output.isEmpty())
            output = QFile::decodeName(argv[++i]);
        else if ((arg == QStringLiteral("-") || !arg.startsWith(u'-')) && input.isEmpty())
            input = arg;
        else
            return Usage();
    }
    if (input.isEmpty())
        return Usage();

    QFile in;
    const bool opened = input == QStringLiteral("-") ? in.open(stdin, QIODevice::ReadOnly)
                                                     : (in.setFileName(input), in.open(QIODevice::ReadOnly));
    if (!opened)
        return Fail(QStringLiteral("%1: %2").arg(input, in.errorString()));
    const QByteArray original = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return Fail(QStringLiteral("%1: %2").arg(input, in.errorString()));

    const previewppd::Result result = previewppd::Make(original);
    if (!result.refusal.isEmpty())
        return Fail(QStringLiteral("%1: %2").arg(input, result.refusal));

    if (output.isEmpty()) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(result.ppd) != result.ppd.size() ||
            !out.flush())
            return Fail(QStringLiteral("standard output: %1").arg(out.errorString()));
        return 0;
    }
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(result.ppd) != result.ppd.size() || !out.commit())
        return Fail(QStringLiteral("%1: %2").arg(output, out.errorString()));
    return 0;
}
