// The preview PPD: CUPS's own sample PPDs through the rewrite, checked line by line against the original,
// by libcups' PPD reader and by cupstestppd; the text forms of PPD files; the PPDs that are refused.
#include "cups/PreviewPpd.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cups/ppd.h>

namespace {

QByteArray Lines(const QByteArrayList &lines, const QByteArray &eol)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + eol;
    return text;
}

struct PpdCounts {
    int options = -1, sizes = -1;
    QByteArray filter, corvaneFilter, optionDefault;
};

// What libcups' PPD reader makes of a PPD text. (libcups marks its PPD API deprecated in favour of
// the IPP view of a queue, but the scheduler and the filters still read PPDs with it.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
PpdCounts ReadWithCups(const QByteArray &text)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("x.ppd")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    file.close();
    ppd_file_t *ppd = ppdOpenFile(QFile::encodeName(file.fileName()).constData());
    if (!ppd)
        return {};
    PpdCounts counts;
    counts.options = 0;
    for (ppd_option_t *option = ppdFirstOption(ppd); option; option = ppdNextOption(ppd))
        ++counts.options;
    counts.sizes = ppd->num_sizes;
    if (ppd->num_filters > 0)
        counts.filter = ppd->filters[0];
    if (ppd_attr_t *attr = ppdFindAttr(ppd, "CorvaneFilter", nullptr))
        counts.corvaneFilter = attr->value;
    if (ppd_option_t *option = ppdFindOption(ppd, "CorvaneWithoutSession");
        option && option->num_choices == 2)
        counts.optionDefault = option->defchoice;
    ppdClose(ppd);
    return counts;
}
#pragma GCC diagnostic pop

// Every line of the original is in the preview PPD, in order, byte for byte, except the lines the rewrite
// owns: the raster filter (its program now corvane-cups) and the model's names (now saying "Preview").
// The preview PPD's other lines are the ones it adds.
void ExpectOriginalKept(const QByteArray &original, const QByteArray &preview)
{
    QByteArrayList kept;
    for (const QByteArray &line : preview.split('\n'))
        if (!line.startsWith("*Corvane") && !line.contains("CorvaneWithoutSession"))
            kept.append(line);
    const QByteArrayList lines = original.split('\n');
    ASSERT_EQ(kept.size(), lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (kept[i] == lines[i])
            continue;
        const bool filter = lines[i].startsWith("*cupsFilter") && kept[i].endsWith(" corvane-cups\"") &&
                            lines[i].contains("vnd.cups-raster");
        const bool name = lines[i].contains("Name") &&
                          (kept[i].contains("with Preview") || kept[i].contains("プレビュー付き"));
        EXPECT_TRUE(filter || name) << "line " << i + 1 << ": " << lines[i].constData() << " became "
                                    << kept[i].constData();
    }
}

TEST(PreviewPpd, CupsSamplePpds)
{
    const QString ppdc = QStandardPaths::findExecutable(QStringLiteral("ppdc"));
    const QString cupstestppd = QStandardPaths::findExecutable(QStringLiteral("cupstestppd"));
    ASSERT_FALSE(ppdc.isEmpty() || cupstestppd.isEmpty())
        << "ppdc and cupstestppd missing: install cups-ppdc";
    QTemporaryDir dir;
    ASSERT_EQ(QProcess::execute(
                  ppdc, {QStringLiteral("-d"), dir.path(), QStringLiteral("/usr/share/cups/drv/sample.drv")}),
              0);
    // cupstestppd looks for the filters in CUPS_SERVERBIN/filter.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("serverbin/filter")));
    for (const QString &name : {QStringLiteral("rastertolabel"), QStringLiteral("rastertoepson"),
                                QStringLiteral("rastertohp"), QStringLiteral("corvane-cups")}) {
        QFile filter(dir.filePath(QStringLiteral("serverbin/filter/") + name));
        ASSERT_TRUE(filter.open(QIODevice::WriteOnly));
        filter.write("#!/bin/sh\nexit 0\n");
        filter.close();
        filter.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }

    struct Case {
        const char *file, *filter; // filter: the printer's raster filter, or null when refused
    };
    const Case cases[] = {
        {"dymo.ppd", "rastertolabel"},     {"zebra.ppd", "rastertolabel"},
        {"zebracpl.ppd", "rastertolabel"}, {"zebraep1.ppd", "rastertolabel"},
        {"intelbar.ppd", "rastertolabel"}, {"deskjet.ppd", "rastertohp"},
        {"laserjet.ppd", "rastertohp"},    {"generpcl.ppd", "rastertohp"},
        {"epson9.ppd", "rastertoepson"},   {"epson24.ppd", "rastertoepson"},
        {"okidata9.ppd", "rastertoepson"}, {"generic.ppd", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        QFile file(dir.filePath(QString::fromLatin1(c.file)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray original = file.readAll();
        const previewppd::Result result = previewppd::Make(original, "direct");
        if (!c.filter) {
            EXPECT_TRUE(result.ppd.isEmpty());
            EXPECT_TRUE(result.refusal.contains(QStringLiteral("does not take CUPS raster")))
                << result.refusal.toStdString();
            continue;
        }
        ASSERT_TRUE(result.refusal.isEmpty()) << result.refusal.toStdString();
        ExpectOriginalKept(original, result.ppd);

        const PpdCounts before = ReadWithCups(original);
        const PpdCounts after = ReadWithCups(result.ppd);
        ASSERT_GT(before.options, 0);
        EXPECT_EQ(after.options, before.options + 1);
        EXPECT_EQ(after.sizes, before.sizes);
        EXPECT_EQ(after.filter, "application/vnd.cups-raster 50 corvane-cups");
        EXPECT_EQ(after.corvaneFilter, "application/vnd.cups-raster 50 " + QByteArray(c.filter));
        EXPECT_EQ(after.optionDefault, "Print");
        EXPECT_EQ(previewppd::Attribute(result.ppd, previewppd::kWrapsKeyword), "direct");

        const QString out = dir.filePath(QStringLiteral("preview-") + QString::fromLatin1(c.file));
        QFile preview(out);
        ASSERT_TRUE(preview.open(QIODevice::WriteOnly));
        preview.write(result.ppd);
        preview.close();
        QProcess test;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CUPS_SERVERBIN"), dir.filePath(QStringLiteral("serverbin")));
        test.setProcessEnvironment(environment);
        test.start(cupstestppd, {QStringLiteral("-q"), out});
        ASSERT_TRUE(test.waitForFinished(60000));
        EXPECT_EQ(test.exitCode(), 0) << test.readAll().constData();

        const previewppd::Result again = previewppd::Make(result.ppd);
        EXPECT_TRUE(again.refusal.startsWith(QStringLiteral("already a preview PPD")))
            << again.refusal.toStdString();
    }
}

TEST(PreviewPpd, TextForms)
{
    const QByteArrayList head{"*PPD-Adobe: \"4.3\"", "*ModelName: \"Tape 9\"", "*ShortNickName: \"Tape 9\"",
                              "*NickName: \"Tape 9, 1.0\"", "*cupsLanguages: \"en de\""};
    const QByteArrayList size{"*OpenUI *PageSize: PickOne", "*DefaultPageSize: w9h72",
                              "*PageSize w9h72/9 mm: \"<</PageSize[9 72]>>setpagedevice\"",
                              "*CloseUI: *PageSize"};
    const QByteArrayList option{"*OpenUI *CorvaneWithoutSession/When No Preview Can Open: PickOne",
                                "*OrderDependency: 100 AnySetup *CorvaneWithoutSession",
                                "*DefaultCorvaneWithoutSession: Print",
                                "*CorvaneWithoutSession Print/Print Without Preview: \"\"",
                                "*CorvaneWithoutSession Drop/Do Not Print: \"\"",
                                "*CloseUI: *CorvaneWithoutSession",
                                "*ja.Translation CorvaneWithoutSession/プレビューを開けないとき: \"\"",
                                "*ja.CorvaneWithoutSession Print/プレビューなしで印刷: \"\"",
                                "*ja.CorvaneWithoutSession Drop/印刷しない: \"\"",
                                "*de.Translation CorvaneWithoutSession/When No Preview Can Open: \"\"",
                                "*de.CorvaneWithoutSession Print/Print Without Preview: \"\"",
                                "*de.CorvaneWithoutSession Drop/Do Not Print: \"\""};
    const QByteArrayList names{"*PPD-Adobe: \"4.3\"", "*ModelName: \"Tape 9 with Preview\"",
                               "*ShortNickName: \"Tape 9 with Preview\"",
                               "*NickName: \"Tape 9, 1.0 with Preview\"", "*cupsLanguages: \"en de\""};
    // A multi-line value that looks like statements, filters for other inputs, a translated name.
    const QByteArrayList middle{"*cupsFilter: \"application/vnd.cups-pdf 0 -\"", "*JCLBegin: \"<1B>%-12345X",
                                "*cupsFilter: \"application/vnd.cups-raster 50 x\"", "\"", "*End"};
    struct Case {
        const char *name;
        QByteArray eol;
        QByteArrayList in, out;
    };
    const Case cases[] = {
        {"CRLF and continuation lines", "\r\n",
         head + middle + QByteArrayList{"*cupsFilter: \"application/vnd.cups-raster 33 rastertotape\""} +
             size,
         names + middle +
             QByteArrayList{"*cupsFilter: \"application/vnd.cups-raster 33 corvane-cups\"",
                            "*CorvaneFilter: \"application/vnd.cups-raster 33 rastertotape\""} +
             size + option},
        {"CR only; cupsFilter2 wins over cupsFilter", "\r",
         head +
             QByteArrayList{"*cupsFilter: \"application/vnd.cups-raster 50 old\"",
                            "*cupsFilter2: \"application/vnd.cups-raster application/x-tape 10 /opt/t f\""} +
             size,
         names +
             QByteArrayList{
                 "*cupsFilter: \"application/vnd.cups-raster 50 old\"",
                 "*cupsFilter2: \"application/vnd.cups-raster application/x-tape 10 corvane-cups\"",
                 "*CorvaneFilter: \"application/vnd.cups-raster application/x-tape 10 /opt/t f\""} +
             size + option},
        {"groups: the option follows the last group", "\n",
         head + QByteArrayList{"*cupsFilter: \"application/vnd.cups-raster 50 t\"", "*OpenGroup: General"} +
             size + QByteArrayList{"*CloseGroup: General", "*% End"},
         names +
             QByteArrayList{"*cupsFilter: \"application/vnd.cups-raster 50 corvane-cups\"",
                            "*CorvaneFilter: \"application/vnd.cups-raster 50 t\"", "*OpenGroup: General"} +
             size + QByteArrayList{"*CloseGroup: General"} + option + QByteArrayList{"*% End"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const previewppd::Result result = previewppd::Make(Lines(c.in, c.eol));
        ASSERT_TRUE(result.refusal.isEmpty()) << result.refusal.toStdString();
        EXPECT_EQ(result.ppd, Lines(c.out, c.eol));
        if (c.eol != "\r") { // libcups reads LF and CR LF line ends only
            EXPECT_EQ(ReadWithCups(result.ppd).optionDefault, "Print");
        }
    }

    // No options and no line end at the end: the option is appended on a line of its own.
    const QByteArray bare = "*PPD-Adobe: \"4.3\"\n*cupsFilter: \"application/vnd.cups-raster 0 t\"";
    EXPECT_EQ(previewppd::Make(bare).ppd,
              Lines(QByteArrayList{"*PPD-Adobe: \"4.3\"",
                                   "*cupsFilter: \"application/vnd.cups-raster 0 corvane-cups\"",
                                   "*CorvaneFilter: \"application/vnd.cups-raster 0 t\""} +
                        option.mid(0, 9),
                    "\n"));
    // A long ShortNickName is cut at a word so that it and the suffix fit in 31 characters.
    const QByteArray longName = "*PPD-Adobe: \"4.3\"\n*ShortNickName: \"Zebra CPCL Label Printer\"\n"
                                "*cupsFilter: \"application/vnd.cups-raster 50 t\"\n";
    EXPECT_EQ(previewppd::Attribute(previewppd::Make(longName).ppd, "ShortNickName"),
              "Zebra CPCL Label with Preview");
}

TEST(PreviewPpd, Refusals)
{
    const QByteArray ppd = "*PPD-Adobe: \"4.3\"\n";
    const QByteArray raster = "*cupsFilter: \"application/vnd.cups-raster 50 t\"\n";
    const struct {
        QByteArray text;
        const char *reason;
    } cases[] = {
        {"", "not a PPD file: it does not begin with *PPD-Adobe"},
        {"%PDF-1.4\n", "not a PPD file: it does not begin"},
        {QByteArray("\x1f\x8b\x08\x00", 4), "a compressed PPD file"},
        {ppd + QByteArray("*A: \"x\0y\"\n", 10) + raster, "not a PPD file: it holds binary data"},
        {ppd + raster + "*Foo: \"never closed\n",
         "not a PPD file: the quoted value that starts on line 3 never ends"},
        {ppd + "*cupsFilter: \"application/vnd.cups-postscript 0 -\"\n",
         "the printer does not take CUPS raster"},
        {ppd + raster + "*cupsFilter2: \"application/pdf application/vnd.x 0 -\"\n",
         "the printer does not take CUPS raster (no *cupsFilter2"},
        {ppd + raster + "*cupsFilter: \"application/vnd.cups-raster 40 u\"\n",
         "the PPD names 2 raster filters (lines 2 and 3)"},
        {ppd + "*cupsFilter: \"application/vnd.cups-raster 0 -\"\n",
         "the printer takes CUPS raster as it is"},
        {ppd + "*cupsFilter: \"application/vnd.cups-raster fifty t\"\n",
         "line 2: *cupsFilter is not \"input cost program\""},
        {ppd + raster + "*CorvaneFilter: \"x\"\n", "already a preview PPD (it has *CorvaneFilter on line 3)"},
        {ppd + raster + "*OpenUI *CorvaneWithoutSession: PickOne\n", "the PPD already has an option"},
        {ppd + "*ModelName: \"" + QByteArray(240, 'M') + "\"\n" + raster,
         "line 2 would grow past the 255 characters a PPD line may hold"},
    };
    for (const auto &c : cases) {
        const previewppd::Result result = previewppd::Make(c.text);
        EXPECT_TRUE(result.ppd.isEmpty());
        EXPECT_TRUE(result.refusal.startsWith(QString::fromUtf8(c.reason)))
            << c.text.left(80).constData() << " -> " << result.refusal.toStdString();
        EXPECT_FALSE(result.refusal.contains(u'\n'));
    }
    EXPECT_TRUE(previewppd::Make(ppd + raster, "a\"b").refusal.contains(QStringLiteral("quote")));
}

TEST(PreviewPpd, PrinterFilters)
{
    const QByteArray ppd = "*PPD-Adobe: \"4.3\"\r\n"
                           "*CorvaneFilter: \"application/vnd.cups-raster 50 rastertolabel\"\r\n"
                           "*cupsFilter: \"application/vnd.cups-pdf 0 corvane-cups\"\r\n"
                           "*CorvaneFilter: \"application/vnd.cups-pdf  0 foomatic-rip\"\r\n"
                           "*CorvaneFilter: \"image/pwg-raster image/pwg-raster 100 -\"\r\n"
                           "*CorvaneFilter: \"application/pdf application/x-p 10 /opt/p/bin/to p\"\r\n"
                           "*CorvaneFilter: \"application/pdf ten p\"\r\n"
                           "*CorvaneFilter: \"application/pdf 10\"\r\n";
    const QList<previewppd::Filter> filters = previewppd::PrinterFilters(ppd);
    const struct {
        QByteArray source, destination;
        int cost;
        QByteArray program;
    } expected[] = {
        {"application/vnd.cups-raster", "", 50, "rastertolabel"},
        {"application/vnd.cups-pdf", "", 0, "foomatic-rip"},
        {"image/pwg-raster", "image/pwg-raster", 100, "-"},
        {"application/pdf", "application/x-p", 10, "/opt/p/bin/to p"},
    };
    ASSERT_EQ(filters.size(), std::size(expected));
    for (qsizetype i = 0; i < filters.size(); ++i) {
        EXPECT_EQ(filters[i].source, expected[i].source) << i;
        EXPECT_EQ(filters[i].destination, expected[i].destination) << i;
        EXPECT_EQ(filters[i].cost, expected[i].cost) << i;
        EXPECT_EQ(filters[i].program, expected[i].program) << i;
    }
    EXPECT_TRUE(previewppd::PrinterFilters("*PPD-Adobe: \"4.3\"\n").isEmpty());
}

} // namespace
