// Filling printf-style formats of the string table with numbers and texts.
#include "res/Format.h"

#include "res/StringTable.h"

namespace {

QString FormatNumber(int value, bool zeroPad, int width)
{
    // Zero padding goes between the sign and the digits, as printf puts it.
    const qint64 wide = value;
    QString digits = QString::number(wide < 0 ? -wide : wide);
    const qsizetype signWidth = wide < 0 ? 1 : 0;
    if (zeroPad && signWidth + digits.size() < width)
        digits.prepend(QString(width - signWidth - digits.size(), u'0'));
    QString text = wide < 0 ? u'-' + digits : digits;
    if (text.size() < width)
        text.prepend(QString(width - text.size(), u' '));
    return text;
}

} // namespace

QString FormatString(QStringView format, std::initializer_list<FormatArg> args)
{
    QString out;
    out.reserve(format.size() + 16);
    auto next = args.begin();
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format[i];
        if (c != u'%') {
            out.append(c);
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            out.append(u'%');
            i += 2;
            continue;
        }
        qsizetype j = i + 1;
        bool zeroPad = false;
        if (j < format.size() && format[j] == u'0') {
            zeroPad = true;
            ++j;
        }
        int width = 0;
        while (j < format.size() && format[j] >= u'0' && format[j] <= u'9' && width < 1000) {
            width = width * 10 + (format[j].unicode() - u'0');
            ++j;
        }
        const QChar kind = j < format.size() ? format[j] : QChar();
        if ((kind != u'd' && kind != u's') || next == args.end()) {
            out.append(c);
            ++i;
            continue;
        }
        const FormatArg &arg = *next++;
        QString text;
        if (kind == u'd')
            text = FormatNumber(arg.IsText() ? 0 : arg.Number(), zeroPad, width);
        else
            text = arg.IsText() ? arg.Text() : QString::number(arg.Number());
        if (kind == u's' && text.size() < width)
            text.prepend(QString(width - text.size(), u' '));
        out.append(text);
        i = j + 1;
    }
    return out;
}

QString FormatResString(int formatId, std::initializer_list<FormatArg> args)
{
    return FormatString(LoadResString(formatId), args);
}
