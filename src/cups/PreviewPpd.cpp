// A preview queue's PPD, made from the printer's PPD.
#include "cups/PreviewPpd.h"

#include "cups/PpdText.h"
#include "link/Utf8.h"

#include <QByteArrayList>
#include <QList>

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

// The printer's raster filter: the statement and the fields of its value.
struct RasterFilter {
    const Statement *statement = nullptr;
    QByteArrayList types; // input, or input and output for *cupsFilter2
    QByteArray cost;
    QByteArray program;
};

// "type [type] cost program" (program may hold blanks); nullopt when the value is not of that form.
std::optional<RasterFilter> ParseFilter(const Statement &statement, int typeCount)
{
    QByteArray rest = statement.value.simplified();
    RasterFilter filter;
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
    if (!number || rest.isEmpty())
        return std::nullopt;
    filter.program = rest;
    return filter;
}

// The raster filter CUPS would use: *cupsFilter2 lines override every *cupsFilter line.
std::optional<RasterFilter> FindRasterFilter(const QList<Statement> &statements, QString *refusal)
{
    bool hasFilter2 = false;
    for (const Statement &statement : statements)
        hasFilter2 = hasFilter2 || statement.keyword == "cupsFilter2";
    const QByteArray keyword = hasFilter2 ? "cupsFilter2" : "cupsFilter";
    QList<RasterFilter> raster;
    for (const Statement &statement : statements) {
        if (statement.keyword != keyword)
            continue;
        const std::optional<RasterFilter> filter = ParseFilter(statement, hasFilter2 ? 2 : 1);
        if (!filter) {
            *refusal = QStringLiteral("line %1: *%2 is not \"%3\"")
                           .arg(statement.line)
                           .arg(QString::fromLatin1(keyword),
                                hasFilter2 ? QStringLiteral("input output cost program")
                                           : QStringLiteral("input cost program"));
            return std::nullopt;
        }
        if (filter->types.first() == kRasterType)
            raster.append(*filter);
    }
    if (raster.isEmpty()) {
        *refusal = QStringLiteral("the printer does not take CUPS raster (no *%1 for %2): a PostScript or "
                                  "PDF printer cannot have a preview stage")
                       .arg(QString::fromLatin1(keyword), QString::fromLatin1(kRasterType));
        return std::nullopt;
    }
    if (raster.size() > 1) {
        *refusal = QStringLiteral("the PPD names %1 raster filters (lines %2 and %3); it is not clear which "
                                  "one drives the printer")
                       .arg(raster.size())
                       .arg(raster[0].statement->line)
                       .arg(raster[1].statement->line);
        return std::nullopt;
    }
    if (raster.first().program == "-") {
        *refusal =
            QStringLiteral("the printer takes CUPS raster as it is (filter \"-\"): there is no printer "
                           "filter to run after the preview");
        return std::nullopt;
    }
    return raster.first();
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

bool IsModelName(const QByteArray &keyword)
{
    return keyword == "ModelName" || keyword == "ShortNickName" || keyword == "NickName";
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
    const std::optional<RasterFilter> filter = FindRasterFilter(document.statements, &result.refusal);
    if (!filter)
        return result;

    const QByteArray &eol = document.eol;
    const qsizetype optionPlace = OptionPlace(document.statements);
    QByteArray out;
    out.reserve(original.size() + 8192);
    for (qsizetype i = 0; i < document.statements.size(); ++i) {
        const Statement &statement = document.statements[i];
        QByteArray lines;
        bool rewritten = true;
        if (&statement == filter->statement) {
            const QByteArray value = filter->types.join(' ') + ' ' + filter->cost + ' ' + kFilterProgram;
            lines = ppdtext::QuotedLine(statement.keyword, value, eol) +
                    ppdtext::QuotedLine(kFilterKeyword, statement.value, eol);
            if (!wrappedQueue.isEmpty())
                lines += ppdtext::QuotedLine(kWrapsKeyword, wrappedQueue, eol);
        } else if (statement.quoted && IsModelName(statement.keyword)) {
            const qsizetype limit = statement.keyword == "ShortNickName" ? kMaxShortNickName : kMaxLine;
            lines = ppdtext::QuotedLine(statement.keyword, Fit(statement.value, kModelSuffix, limit), eol);
        } else if (statement.keyword.endsWith(".Translation") && IsModelName(statement.option) &&
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
            out += OptionBlock(document.statements, eol);
        }
    }
    result.ppd = out;
    return result;
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
