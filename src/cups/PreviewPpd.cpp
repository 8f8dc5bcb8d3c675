// A preview queue's PPD, made from the printer's PPD.
#include "cups/PreviewPpd.h"

#include "cups/PpdText.h"
#include "link/Utf8.h"

#include <QByteArrayList>
#include <QList>

#include <algorithm>
#include <optional>

namespace previewppd {
namespace {

using ppdtext::Statement;

// A PPD line holds at most 255 characters, a translation string 80 bytes, a ShortNickName 31 characters.
constexpr qsizetype kMaxLine = 255;
constexpr qsizetype kMaxTranslation = 80;
constexpr qsizetype kMaxShortNickName = 31;
// Printer PPDs are a few megabytes at most; anything far larger is not one.
constexpr qsizetype kMaxPpdBytes = 64 * 1024 * 1024;

constexpr char kModelSuffix[] = " with Preview";
constexpr char kModelSuffixJa[] = "（プレビュー付き）";

struct Texts {
    QByteArray option, print, drop;
};

const Texts kEnglish{"When No Preview Can Open", "Print Without Preview", "Do Not Print"};
const Texts kJapanese{"プレビューを開けないとき", "プレビューなしで印刷", "印刷しない"};

// A filter line of the printer's PPD: the statement and the fields of its value.
struct FilterLine {
    const Statement *statement = nullptr;
    QByteArrayList types; // input, or input and output for *cupsFilter2
    QByteArray cost;
    QByteArray program;
};

// "type [type] cost program" (program may hold blanks); nullopt when the value is not of that form.
std::optional<FilterLine> ParseFilter(const Statement &statement, int typeCount)
{
    QByteArray rest = statement.value.simplified();
    FilterLine filter;
    filter.statement = &statement;
    for (int i = 0; i <= typeCount; ++i) {
        const qsizetype blank = rest.indexOf(' ');
        if (blank <= 0)
            return std::nullopt;
        if (i < typeCount)
            filter.types.append(rest.left(blank));
        else
            filter.cost = rest.left(blank);
        rest = rest.mid(blank + 1);
    }
    bool number = false;
    filter.cost.toInt(&number);
    if (!number || rest.isEmpty() || !filter.types.first().contains('/'))
        return std::nullopt;
    filter.program = rest;
    return filter;
}

// The inputs the preview stage reads: it shows them and then hands them on unchanged.
bool IsPreviewInput(const QByteArray &type)
{
    static const QByteArrayList types{kRasterType,
                                      "image/pwg-raster",
                                      "application/vnd.cups-pdf",
                                      "application/pdf",
                                      "application/vnd.cups-postscript",
                                      "application/postscript"};
    return types.contains(type);
}

// Inputs that are no document (printer commands: clean the heads, report the supplies): their lines stay.
bool IsCommandInput(const QByteArray &type)
{
    return type == "application/vnd.cups-command";
}

// What the rewrite does with the printer's filter lines.
struct FilterPlan {
    QList<FilterLine> preview;        // rewritten to name corvane-cups, followed by *CorvaneFilter
    QList<const Statement *> leftOut; // printable inputs that would reach the device without the preview
    bool postScript = false;          // no filter line at all: a PostScript printer
};

// The lines CUPS uses: the *cupsFilter2 lines when there are any, else the *cupsFilter lines; with neither,
// the printer takes PostScript as it is.
std::optional<FilterPlan> PlanFilters(const QList<Statement> &statements, QString *refusal)
{
    bool hasFilter2 = false;
    for (const Statement &statement : statements)
        hasFilter2 = hasFilter2 || statement.keyword == "cupsFilter2";
    const QByteArray keyword = hasFilter2 ? "cupsFilter2" : "cupsFilter";
    FilterPlan plan;
    QByteArrayList others;
    bool any = false;
    for (const Statement &statement : statements) {
        if (statement.keyword != keyword)
            continue;
        any = true;
        const std::optional<FilterLine> filter = ParseFilter(statement, hasFilter2 ? 2 : 1);
        if (!filter) {
            *refusal = QStringLiteral("line %1: *%2 is not \"%3\"")
                           .arg(statement.line)
                           .arg(QString::fromLatin1(keyword),
                                hasFilter2 ? QStringLiteral("input output cost program")
                                           : QStringLiteral("input cost program"));
            return std::nullopt;
        }
        const QByteArray &input = filter->types.first();
        if (IsPreviewInput(input)) {
            for (const FilterLine &earlier : plan.preview) {
                if (earlier.types.first() == input) {
                    *refusal = QStringLiteral("the PPD names two filters for %1 (lines %2 and %3); it is not "
                                              "clear which one drives the printer")
                                   .arg(QString::fromLatin1(input))
                                   .arg(earlier.statement->line)
                                   .arg(statement.line);
                    return std::nullopt;
                }
            }
            plan.preview.append(*filter);
        } else if (!IsCommandInput(input)) {
            plan.leftOut.append(&statement);
            if (!others.contains(input))
                others.append(input);
        }
    }
    if (!any) {
        plan.postScript = true;
        return plan;
    }
    if (plan.preview.isEmpty()) {
        *refusal =
            QStringLiteral("the printer takes none of the inputs a preview stage reads (CUPS or PWG "
                           "raster, PDF, PostScript): its *%1 lines are for %2")
                .arg(QString::fromLatin1(keyword), others.isEmpty() ? QStringLiteral("printer commands only")
                                                                    : QString::fromLatin1(others.join(", ")));
        return std::nullopt;
    }
    return plan;
}

// text + suffix in at most limit bytes: text is cut after its last whole word that fits.
QByteArray Fit(const QByteArray &text, const QByteArray &suffix, qsizetype limit)
{
    if (text.size() + suffix.size() <= limit)
        return text + suffix;
    const qsizetype room = limit - suffix.size();
    qsizetype cut = text.lastIndexOf(' ', room);
    if (cut <= 0) {
        // No word boundary: cut between two characters.
        cut = Utf8Left(text, room).size();
    }
    return text.left(cut).trimmed() + suffix;
}

// The names a printer list shows; *ModelName stays, for the printer's filters choose their protocol by it.
bool IsListName(const QByteArray &keyword)
{
    return keyword == "ShortNickName" || keyword == "NickName";
}

// The option, its choices and their translations, in the PPD's line ends.
QByteArray OptionBlock(const QList<Statement> &statements, const QByteArray &eol)
{
    const QByteArray option = kOptionKeyword;
    QByteArray block;
    block += "*OpenUI *" + option + '/' + kEnglish.option + ": PickOne" + eol;
    block += "*OrderDependency: 100 AnySetup *" + option + eol;
    block += "*Default" + option + ": Print" + eol;
    block += ppdtext::QuotedLine(option + " Print/" + kEnglish.print, {}, eol);
    block += ppdtext::QuotedLine(option + " Drop/" + kEnglish.drop, {}, eol);
    block += "*CloseUI: *" + option + eol;

    QByteArrayList languages{"ja"};
    for (const Statement &statement : statements)
        if (statement.keyword == "cupsLanguages")
            for (const QByteArray &language : statement.value.simplified().split(' '))
                if (!language.isEmpty() && language != "en" && !languages.contains(language))
                    languages.append(language);
    for (const QByteArray &language : languages) {
        const Texts &texts = language == "ja" ? kJapanese : kEnglish;
        block += ppdtext::QuotedLine(language + ".Translation " + option + '/' + texts.option, {}, eol);
        block += ppdtext::QuotedLine(language + '.' + option + " Print/" + texts.print, {}, eol);
        block += ppdtext::QuotedLine(language + '.' + option + " Drop/" + texts.drop, {}, eol);
    }
    return block;
}

// Where the option goes: after the last option or group that closes outside every group, else at the end.
qsizetype OptionPlace(const QList<Statement> &statements)
{
    qsizetype place = -1;
    int depth = 0;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const QByteArray &keyword = statements[i].keyword;
        if (keyword == "OpenGroup")
            ++depth;
        else if (keyword == "CloseGroup" && depth > 0)
            --depth;
        if (depth == 0 && (keyword == "CloseUI" || keyword == "CloseGroup"))
            place = i;
    }
    return place < 0 ? statements.size() - 1 : place;
}

bool EndsWithLineEnd(const QByteArray &text)
{
    return text.endsWith('\n') || text.endsWith('\r');
}

QString Check(const QByteArray &text)
{
    if (text.size() > kMaxPpdBytes)
        return QStringLiteral("not a PPD file: %1 bytes is far more than any printer's PPD").arg(text.size());
    if (text.startsWith("\x1f\x8b"))
        return QStringLiteral("a compressed PPD file: decompress it first (gunzip)");
    if (!text.startsWith("*PPD-Adobe:"))
        return QStringLiteral("not a PPD file: it does not begin with *PPD-Adobe");
    if (text.contains('\0'))
        return QStringLiteral("not a PPD file: it holds binary data");
    return {};
}

} // namespace

Result Make(const QByteArray &original, const QByteArray &wrappedQueue)
{
    Result result;
    result.refusal = Check(original);
    if (!result.refusal.isEmpty())
        return result;
    const ppdtext::Document document = ppdtext::Split(original);
    if (!document.error.isEmpty()) {
        result.refusal = QStringLiteral("not a PPD file: ") + document.error;
        return result;
    }
    for (const Statement &statement : document.statements) {
        if (statement.keyword == kFilterKeyword) {
            result.refusal = QStringLiteral("already a preview PPD (it has *%1 on line %2)")
                                 .arg(QString::fromLatin1(kFilterKeyword))
                                 .arg(statement.line);
            return result;
        }
        if (statement.keyword == "OpenUI" && statement.option == '*' + QByteArray(kOptionKeyword)) {
            result.refusal = QStringLiteral("the PPD already has an option %1 (line %2)")
                                 .arg(QString::fromLatin1(kOptionKeyword))
                                 .arg(statement.line);
            return result;
        }
    }
    if (wrappedQueue.contains('"') || wrappedQueue.contains('\n') || wrappedQueue.contains('\r')) {
        result.refusal = QStringLiteral("the queue name holds a quote or a line end");
        return result;
    }
    const std::optional<FilterPlan> plan = PlanFilters(document.statements, &result.refusal);
    if (!plan)
        return result;

    const QByteArray &eol = document.eol;
    // Added after the filter lines' rewrite, before the option: the wrapped queue, and for a PostScript
    // printer the filter line that puts corvane-cups in front of it.
    QByteArray added;
    if (plan->postScript) {
        added += ppdtext::QuotedLine("cupsFilter", QByteArray(kPostScriptType) + " 0 " + kFilterProgram, eol);
        added += ppdtext::QuotedLine(kFilterKeyword, QByteArray(kPostScriptType) + " 0 -", eol);
    }
    if (!wrappedQueue.isEmpty())
        added += ppdtext::QuotedLine(kWrapsKeyword, wrappedQueue, eol);
    added += OptionBlock(document.statements, eol);

    const qsizetype optionPlace = OptionPlace(document.statements);
    QByteArray out;
    out.reserve(original.size() + 8192);
    for (qsizetype i = 0; i < document.statements.size(); ++i) {
        const Statement &statement = document.statements[i];
        const auto preview =
            std::find_if(plan->preview.begin(), plan->preview.end(),
                         [&](const FilterLine &line) { return line.statement == &statement; });
        QByteArray lines;
        bool rewritten = true;
        if (preview != plan->preview.end()) {
            const QByteArray value = preview->types.join(' ') + ' ' + preview->cost + ' ' + kFilterProgram;
            lines = ppdtext::QuotedLine(statement.keyword, value, eol) +
                    ppdtext::QuotedLine(kFilterKeyword, statement.value, eol);
        } else if (plan->leftOut.contains(&statement)) {
            lines.clear();
        } else if (statement.quoted && IsListName(statement.keyword)) {
            const qsizetype limit = statement.keyword == "ShortNickName" ? kMaxShortNickName : kMaxLine;
            lines = ppdtext::QuotedLine(statement.keyword, Fit(statement.value, kModelSuffix, limit), eol);
        } else if (statement.keyword.endsWith(".Translation") && IsListName(statement.option) &&
                   !statement.translation.trimmed().isEmpty()) {
            const bool japanese = statement.keyword.startsWith("ja.");
            const QByteArray translation = Fit(statement.translation.trimmed(),
                                               japanese ? kModelSuffixJa : kModelSuffix, kMaxTranslation);
            lines = ppdtext::QuotedLine(statement.keyword + ' ' + statement.option + '/' + translation,
                                        statement.value, eol);
        } else {
            lines = original.mid(statement.begin, statement.end - statement.begin);
            rewritten = false;
        }
        for (const QByteArray &line : lines.split(eol.back())) {
            if (rewritten && line.size() - (line.endsWith('\r') ? 1 : 0) > kMaxLine) {
                result.refusal =
                    QStringLiteral("line %1 would grow past the 255 characters a PPD line may hold")
                        .arg(statement.line);
                return result;
            }
        }
        out += lines;
        if (i == optionPlace) {
            if (!EndsWithLineEnd(out))
                out += eol;
            out += added;
        }
    }
    result.ppd = out;
    return result;
}

QList<Filter> PrinterFilters(const QByteArray &ppd)
{
    QList<Filter> filters;
    const ppdtext::Document document = ppdtext::Split(ppd);
    for (const Statement &statement : document.statements) {
        if (statement.keyword != kFilterKeyword)
            continue;
        // A destination is a MIME type (it has a slash), a cost is a number.
        const QByteArray value = statement.value.simplified();
        const qsizetype first = value.indexOf(' ');
        const qsizetype second = first < 0 ? -1 : value.indexOf(' ', first + 1);
        const int typeCount =
            second > first && value.mid(first + 1, second - first - 1).contains('/') ? 2 : 1;
        const std::optional<FilterLine> parsed = ParseFilter(statement, typeCount);
        if (!parsed)
            continue;
        Filter filter;
        filter.source = parsed->types.first();
        filter.destination = typeCount == 2 ? parsed->types.last() : QByteArray();
        filter.cost = parsed->cost.toInt();
        filter.program = parsed->program;
        filters.append(filter);
    }
    return filters;
}

QByteArray Attribute(const QByteArray &ppd, const char *keyword)
{
    const ppdtext::Document document = ppdtext::Split(ppd);
    for (const Statement &statement : document.statements)
        if (statement.keyword == keyword)
            return statement.value.isNull() ? QByteArray("") : statement.value;
    return QByteArray();
}

} // namespace previewppd
