// The preview's command line: /INI= and /HWND= taken from the arguments as the bytes they are.
#include "app/CommandLine.h"

#include "link/NativePath.h"

namespace {

// The C library's blanks in the "C" locale.
bool IsCrtSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

QStringList DecodeArguments(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc && argv != nullptr; ++i)
        arguments.append(DecodeNativePath(argv[i]));
    return arguments;
}

CommandLineArgs ScanCommandLine(const QStringList &arguments)
{
    static const QString iniPrefix = QStringLiteral("/INI=");
    static const QString handlePrefix = QStringLiteral("/HWND=");
    CommandLineArgs args;
    for (const QString &argument : arguments) {
        if (argument.startsWith(iniPrefix, Qt::CaseSensitive))
            args.strIniPath = argument.mid(iniPrefix.size());
        else if (argument.startsWith(handlePrefix, Qt::CaseSensitive))
            args.strHandle = argument.mid(handlePrefix.size());
        if (!args.strIniPath.isEmpty() && !args.strHandle.isEmpty())
            break;
    }
    return args;
}

quint64 ParseHandle(const QString &text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && IsCrtSpace(text[i].unicode()))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // "0x" without digits after it reads as 0, the same as the "0" alone would.
    if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X'))
        i += 2;
    quint64 value = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        const int digit = HexDigit(text[i].unicode());
        if (digit < 0)
            break;
        if (value > (~quint64(0) >> 4))
            overflow = true;
        value = (value << 4) | quint64(digit);
    }
    if (overflow)
        return ~quint64(0);
    return negative ? 0 - value : value;
}
