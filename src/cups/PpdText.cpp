// Splitting a PPD file's text into its statements and writing a quoted statement.
#include "cups/PpdText.h"

namespace ppdtext {
namespace {

// One past the end of the line that starts at from, its line end included; *contentEnd is where the
// line end starts.
qsizetype LineEnd(const QByteArray &text, qsizetype from, qsizetype *contentEnd)
{
    const qsizetype n = text.size();
    qsizetype i = from;
    while (i < n && text[i] != '\n' && text[i] != '\r')
        ++i;
    *contentEnd = i;
    if (i < n && text[i] == '\r' && i + 1 < n && text[i + 1] == '\n')
        return i + 2;
    return i < n ? i + 1 : i;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// "Keyword Option/Translation" (the part between the star and the colon) into its three parts.
void SplitName(const QByteArray &name, Statement &statement)
{
    qsizetype blank = 0;
    while (blank < name.size() && !IsBlank(name[blank]))
        ++blank;
    statement.keyword = name.left(blank);
    qsizetype option = blank;
    while (option < name.size() && IsBlank(name[option]))
        ++option;
    const QByteArray rest = name.mid(option);
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) {
        statement.option = rest.trimmed();
        return;
    }
    statement.option = rest.left(slash).trimmed();
    statement.translation = rest.mid(slash + 1);
}

} // namespace

Document Split(const QByteArray &text)
{
    Document document;
    qsizetype contentEnd = 0;
    const qsizetype firstEnd = LineEnd(text, 0, &contentEnd);
    document.eol = firstEnd > contentEnd ? text.mid(contentEnd, firstEnd - contentEnd) : QByteArray("\n");

    qsizetype pos = 0;
    int line = 1;
    while (pos < text.size()) {
        Statement statement;
        statement.begin = pos;
        statement.line = line;
        qsizetype next = LineEnd(text, pos, &contentEnd);
        ++line;
        const bool isStatement =
            text[pos] == '*' && contentEnd > pos + 1 && text[pos + 1] != '%' && !IsBlank(text[pos + 1]);
        const qsizetype colon = isStatement ? text.indexOf(':', pos) : -1;
        if (isStatement && colon >= 0 && colon < contentEnd) {
            SplitName(text.mid(pos + 1, colon - pos - 1), statement);
            qsizetype value = colon + 1;
            while (value < contentEnd && IsBlank(text[value]))
                ++value;
            if (value < contentEnd && text[value] == '"') {
                const qsizetype close = text.indexOf('"', value + 1);
                if (close < 0) {
                    document.error = QStringLiteral("the quoted value that starts on line %1 never ends")
                                         .arg(statement.line);
                    return document;
                }
                statement.quoted = true;
                statement.value = text.mid(value + 1, close - value - 1);
                while (next <= close) {
                    next = LineEnd(text, next, &contentEnd);
                    ++line;
                }
            } else {
                statement.value = text.mid(value, contentEnd - value);
            }
        } else if (isStatement) {
            SplitName(text.mid(pos + 1, contentEnd - pos - 1), statement);
        }
        statement.end = next;
        document.statements.append(statement);
        pos = next;
    }
    return document;
}

QByteArray QuotedLine(const QByteArray &keyword, const QByteArray &value, const QByteArray &eol)
{
    return '*' + keyword + QByteArrayLiteral(": \"") + value + '"' + eol;
}

} // namespace ppdtext
