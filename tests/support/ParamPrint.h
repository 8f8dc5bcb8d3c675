// One-line renderings of test-table fields, for the parameter GoogleTest shows beside each test name
// (and ctest takes into the test's name): text quoted and escaped, bytes as a short hex prefix.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <ostream>

namespace ParamPrint {

// The text in double quotes, as UTF-8, with quotes, backslashes and control characters escaped; past
// nMax characters it is cut and "..." follows the closing quote.
inline void Quoted(const QString &text, std::ostream *os, int nMax = 24)
{
    static const char kHex[] = "0123456789ABCDEF";
    const QList<uint> chars = text.toUcs4();
    *os << '"';
    int n = 0;
    for (const uint ch : chars) {
        if (n++ == nMax)
            break;
        if (ch == '"' || ch == '\\')
            *os << '\\' << char(ch);
        else if (ch == '\n')
            *os << "\\n";
        else if (ch == '\r')
            *os << "\\r";
        else if (ch == '\t')
            *os << "\\t";
        else if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0))
            *os << "\\x" << kHex[ch >> 4] << kHex[ch & 0xF];
        else {
            const char32_t one = ch;
            *os << QString::fromUcs4(&one, 1).toStdString();
        }
    }
    *os << '"';
    if (chars.size() > nMax)
        *os << "...";
}

inline void Quoted(const char *utf8, std::ostream *os, int nMax = 24)
{
    if (utf8 == nullptr)
        *os << "null";
    else
        Quoted(QString::fromUtf8(utf8), os, nMax);
}

// The first nMax bytes in hex, then "..." and the length when there are more.
inline void HexPrefix(const unsigned char *data, std::size_t nSize, std::ostream *os, std::size_t nMax = 8)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < nSize && i < nMax; ++i)
        *os << (i ? " " : "") << kHex[data[i] >> 4] << kHex[data[i] & 0xF];
    if (nSize > nMax)
        *os << " ... (" << nSize << " bytes)";
}

inline void HexPrefix(const QByteArray &bytes, std::ostream *os, std::size_t nMax = 8)
{
    HexPrefix(reinterpret_cast<const unsigned char *>(bytes.constData()), std::size_t(bytes.size()), os,
              nMax);
}

} // namespace ParamPrint
