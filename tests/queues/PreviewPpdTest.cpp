// The preview PPD: CUPS's own sample PPDs through the rewrite, checked line by line against the original,
// by libcups' PPD reader and by cupstestppd; the text forms of PPD files; the PPDs that are refused.
#include "cups/PreviewPpd.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cups/ppd.h>

#include <memory>
#include <vector>

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

// The name a printer list shows: *NickName, *ShortNickName or a translation of them.
bool IsListName(const QByteArray &line)
{
    const QByteArray name = line.left(line.indexOf(':'));
    return name.startsWith("*NickName") || name.startsWith("*ShortNickName") ||
           name.contains(".Translation NickName/") || name.contains(".Translation ShortNickName/");
}

// Every line of the original is in the preview PPD, in order, byte for byte, except the lines the rewrite
// owns: the filter lines (for an input the preview reads, the program is now corvane-cups; for other
// printable inputs, they are left out) and the names printer lists show (now saying "Preview"). The
// preview PPD's other lines are the ones it adds. Returns the number of filter lines left out.
int ExpectOriginalKept(const QByteArray &original, const QByteArray &preview)
{
    const bool postScript = !original.contains("\n*cupsFilter");
    QByteArrayList kept;
    for (const QByteArray &line : preview.split('\n'))
        if (!line.startsWith("*Corvane") && !line.contains("CorvaneWithoutSession") &&
            !(postScript && line == "*cupsFilter: \"application/vnd.cups-postscript 0 corvane-cups\""))
            kept.append(line);
    const QByteArrayList lines = original.split('\n');
    int leftOut = 0;
    qsizetype j = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const QByteArray next = j < kept.size() ? kept[j] : QByteArray();
        if (next == line) {
            ++j;
            continue;
        }
        if (line.startsWith("*cupsFilter")) {
            // The same statement, types and cost, with corvane-cups for the program; or left out.
            QByteArrayList fields = line.mid(line.indexOf('"') + 1).chopped(1).simplified().split(' ');
            fields.last() = "corvane-cups";
            if (next == line.left(line.indexOf(':')) + ": \"" + fields.join(' ') + '"') {
                ++j;
            } else {
                ++leftOut;
                EXPECT_FALSE(line.contains("vnd.cups-command")) << line.constData();
            }
            continue;
        }
        const QByteArray name = line.left(line.indexOf(line.contains(".Translation") ? '/' : ':'));
        const bool renamed = IsListName(line) && next.startsWith(name) &&
                             (next.contains("with Preview") || next.contains("プレビュー付き"));
        EXPECT_TRUE(renamed) << "line " << i + 1 << ": " << line.constData() << " became "
                             << next.constData();
        ++j;
    }
    EXPECT_EQ(j, kept.size()) << "lines the original does not have";
    return leftOut;
}

// cupstestppd's verdict (exit code) on a PPD text; it finds the filters in serverBin/filter.
int TestPpd(const QByteArray &text, const QString &path, const QString &serverBin)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return -1;
    file.close();
    QProcess test;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVERBIN"), serverBin);
    test.setProcessEnvironment(environment);
    test.start(QStringLiteral("cupstestppd"), {QStringLiteral("-q"), path});
    return test.waitForFinished(60000) ? test.exitCode() : -1;
}

// Every PPD of CUPS's sample drivers and of printer-driver-dymo (the drivers of real label and tape
// printers, whose filters choose their protocol by *ModelName).
TEST(PreviewPpd, DriverPpds)
{
    const QString ppdc = QStandardPaths::findExecutable(QStringLiteral("ppdc"));
    const QString cupstestppd = QStandardPaths::findExecutable(QStringLiteral("cupstestppd"));
    ASSERT_FALSE(ppdc.isEmpty() || cupstestppd.isEmpty())
        << "ppdc and cupstestppd missing: install cups-ppdc";
    const QString dymo = QStringLiteral("/usr/lib/cups/driver/dymo");
    ASSERT_TRUE(QFile::exists(dymo)) << "printer-driver-dymo is not installed";
    QTemporaryDir dir;
    ASSERT_EQ(QProcess::execute(
                  ppdc, {QStringLiteral("-d"), dir.path(), QStringLiteral("/usr/share/cups/drv/sample.drv")}),
              0);
    // cupstestppd looks for the filters in CUPS_SERVERBIN/filter: the system's, and corvane-cups.
    const QString serverBin = dir.filePath(QStringLiteral("serverbin"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("serverbin/filter")));
    const QDir system(QStringLiteral("/usr/lib/cups/filter"));
    for (const QString &name : system.entryList(QDir::Files))
        QFile::link(system.filePath(name), serverBin + QStringLiteral("/filter/") + name);
    QFile stand(serverBin + QStringLiteral("/filter/corvane-cups"));
    ASSERT_TRUE(stand.open(QIODevice::WriteOnly));
    stand.write("#!/bin/sh\nexit 0\n");
    stand.close();
    stand.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);

    struct Case {
        QString name;
        QByteArray text;
        QByteArray program; // the printer's own filter; "-" for a PostScript printer
    };
    QList<Case> cases;
    const struct {
        const char *file, *program;
    } samples[] = {
        {"dymo.ppd", "rastertolabel"},     {"zebra.ppd", "rastertolabel"},
        {"zebracpl.ppd", "rastertolabel"}, {"zebraep1.ppd", "rastertolabel"},
        {"intelbar.ppd", "rastertolabel"}, {"deskjet.ppd", "rastertohp"},
        {"laserjet.ppd", "rastertohp"},    {"generpcl.ppd", "rastertohp"},
        {"epson9.ppd", "rastertoepson"},   {"epson24.ppd", "rastertoepson"},
        {"okidata9.ppd", "rastertoepson"}, {"generic.ppd", "-"},
    };
    for (const auto &sample : samples) {
        QFile file(dir.filePath(QString::fromLatin1(sample.file)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << sample.file;
        cases.append({QString::fromLatin1(sample.file), file.readAll(), sample.program});
    }
    QProcess list;
    list.start(dymo, {QStringLiteral("list")});
    ASSERT_TRUE(list.waitForFinished(60000));
    // The driver unpacks each PPD in a process of its own: all at once.
    std::vector<std::unique_ptr<QProcess>> cats;
    QStringList uris;
    for (const QByteArray &line : list.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        uris.append(QString::fromUtf8(line.split('"').value(1)));
        cats.push_back(std::make_unique<QProcess>());
        cats.back()->start(dymo, {QStringLiteral("cat"), uris.back()});
    }
    for (qsizetype i = 0; i < uris.size(); ++i) {
        ASSERT_TRUE(cats[i]->waitForFinished(120000)) << uris[i].toStdString();
        // The tape printers have a protocol of their own.
        const bool tape =
            QRegularExpression(QStringLiteral("/(lm|lp350|lw450dt|lwduot)[^/]*$")).match(uris[i]).hasMatch();
        cases.append({uris[i], cats[i]->readAllStandardOutput(), tape ? "raster2dymolm" : "raster2dymolw"});
    }
    ASSERT_EQ(cases.size(), 12 + 25);

    int accepted = 0; // originals that cupstestppd accepts: their preview PPDs must pass too

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const previewppd::Result result = previewppd::Make(c.text, "direct");
        ASSERT_TRUE(result.refusal.isEmpty()) << result.refusal.toStdString();
        EXPECT_EQ(ExpectOriginalKept(c.text, result.ppd), 0);
        for (const char *keyword : {"ModelName", "Manufacturer", "Product", "cupsModelNumber"})
            EXPECT_EQ(previewppd::Attribute(result.ppd, keyword), previewppd::Attribute(c.text, keyword));

        const PpdCounts before = ReadWithCups(c.text);
        const PpdCounts after = ReadWithCups(result.ppd);
        ASSERT_GT(before.options, 0);
        EXPECT_EQ(after.options, before.options + 1);
        EXPECT_EQ(after.sizes, before.sizes);
        const QByteArray input = c.program == "-" ? "application/vnd.cups-postscript 0 "
                                                  : before.filter.left(before.filter.lastIndexOf(' ') + 1);
        EXPECT_EQ(after.filter, input + "corvane-cups");
        EXPECT_EQ(after.corvaneFilter, input + c.program);
        EXPECT_EQ(after.optionDefault, "Print");
        EXPECT_EQ(previewppd::Attribute(result.ppd, previewppd::kWrapsKeyword), "direct");
        const QList<previewppd::Filter> filters = previewppd::PrinterFilters(result.ppd);
        ASSERT_EQ(filters.size(), 1);
        EXPECT_EQ(filters[0].program, c.program);

        const int originalVerdict = TestPpd(c.text, dir.filePath(QStringLiteral("original.ppd")), serverBin);
        if (originalVerdict == 0) {
            ++accepted;
            EXPECT_EQ(TestPpd(result.ppd, dir.filePath(QStringLiteral("preview.ppd")), serverBin), 0);
        }

        const previewppd::Result again = previewppd::Make(result.ppd);
        EXPECT_TRUE(again.refusal.startsWith(QStringLiteral("already a preview PPD")))
            << again.refusal.toStdString();
    }
    EXPECT_GE(accepted, 12);
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
    const QByteArrayList names{"*PPD-Adobe: \"4.3\"", "*ModelName: \"Tape 9\"",
                               "*ShortNickName: \"Tape 9 with Preview\"",
                               "*NickName: \"Tape 9, 1.0 with Preview\"", "*cupsLanguages: \"en de\""};
    // A multi-line value that looks like statements, a filter line for printer commands.
    const QByteArrayList middle{"*cupsFilter: \"application/vnd.cups-command 0 -\"",
                                "*JCLBegin: \"<1B>%-12345X",
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
        {"Foomatic: PDF and PostScript; commands stay, other inputs are left out", "\n",
         head +
             QByteArrayList{"*cupsFilter: \"application/vnd.cups-pdf 0 foomatic-rip\"",
                            "*cupsFilter: \"image/jpeg 0 jpegtotape\"",
                            "*cupsFilter: \"application/vnd.cups-command 0 commandtotape\"",
                            "*cupsFilter: \"application/vnd.cups-postscript 100 foomatic-rip\""} +
             size,
         names +
             QByteArrayList{"*cupsFilter: \"application/vnd.cups-pdf 0 corvane-cups\"",
                            "*CorvaneFilter: \"application/vnd.cups-pdf 0 foomatic-rip\"",
                            "*cupsFilter: \"application/vnd.cups-command 0 commandtotape\"",
                            "*cupsFilter: \"application/vnd.cups-postscript 100 corvane-cups\"",
                            "*CorvaneFilter: \"application/vnd.cups-postscript 100 foomatic-rip\""} +
             size + option},
        {"driverless: PDF and PWG raster to the device, Apple raster left out", "\n",
         head +
             QByteArrayList{"*cupsFilter2: \"application/vnd.cups-pdf application/pdf 10 -\"",
                            "*cupsFilter2: \"image/urf image/urf 100 -\"",
                            "*cupsFilter2: \"image/pwg-raster image/pwg-raster 100 -\""} +
             size,
         names +
             QByteArrayList{"*cupsFilter2: \"application/vnd.cups-pdf application/pdf 10 corvane-cups\"",
                            "*CorvaneFilter: \"application/vnd.cups-pdf application/pdf 10 -\"",
                            "*cupsFilter2: \"image/pwg-raster image/pwg-raster 100 corvane-cups\"",
                            "*CorvaneFilter: \"image/pwg-raster image/pwg-raster 100 -\""} +
             size + option},
        {"PostScript printer: no filter line", "\n", head + size,
         names + size +
             QByteArrayList{"*cupsFilter: \"application/vnd.cups-postscript 0 corvane-cups\"",
                            "*CorvaneFilter: \"application/vnd.cups-postscript 0 -\""} +
             option},
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
        {ppd + "*cupsFilter: \"application/vnd.cups-command 0 commandtotape\"\n",
         "the printer takes none of the inputs a preview stage reads (CUPS or PWG raster, PDF, PostScript): "
         "its *cupsFilter lines are for printer commands only"},
        {ppd + raster + "*cupsFilter2: \"image/urf image/urf 100 -\"\n*cupsFilter2: \"image/jpeg x 0 -\"\n",
         "the printer takes none of the inputs a preview stage reads (CUPS or PWG raster, PDF, PostScript): "
         "its *cupsFilter2 lines are for image/urf, image/jpeg"},
        {ppd + raster + "*cupsFilter: \"application/vnd.cups-raster 40 u\"\n",
         "the PPD names two filters for application/vnd.cups-raster (lines 2 and 3)"},
        {ppd + "*cupsFilter: \"raster 0 -\"\n", "line 2: *cupsFilter is not \"input cost program\""},
        {ppd + "*cupsFilter: \"application/vnd.cups-raster fifty t\"\n",
         "line 2: *cupsFilter is not \"input cost program\""},
        {ppd + raster + "*CorvaneFilter: \"x\"\n", "already a preview PPD (it has *CorvaneFilter on line 3)"},
        {ppd + raster + "*OpenUI *CorvaneWithoutSession: PickOne\n", "the PPD already has an option"},
        {ppd + "*NickName: \"" + QByteArray(240, 'M') + "\"\n" + raster,
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
