// Writing JSON: string literals and flat objects.
#include "Json.h"

QByteArray JsonString(const QString &text)
{
    // Lone surrogates cannot be written as UTF-8; they stand as U+FFFD.
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            clean.append(ch);
            clean.append(text[++i]);
        } else if (ch.isSurrogate()) {
            clean.append(QChar(QChar::ReplacementCharacter));
        } else {
            clean.append(ch);
        }
    }
    const QByteArray utf8 = clean.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\');
            out.append(c);
        } else if (byte < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out.append("\\u00");
            out.append(hex[byte >> 4]);
            out.append(hex[byte & 0xF]);
        } else {
            out.append(c);
        }
    }
    out.append('"');
    return out;
}

void CJsonObject::Add(const char *name, qint64 value)
{
    m_members.append({QByteArray(name), QByteArray::number(value)});
}

void CJsonObject::Add(const char *name, const QString &value)
{
    m_members.append({QByteArray(name), JsonString(value)});
}

void CJsonObject::Add(const char *name, bool value)
{
    m_members.append({QByteArray(name), QByteArray(value ? "true" : "false")});
}

void CJsonObject::AddRaw(const char *name, const QByteArray &json)
{
    m_members.append({QByteArray(name), json});
}

QByteArray CJsonObject::ToJson() const
{
    QByteArray out("{");
    for (qsizetype i = 0; i < m_members.size(); ++i) {
        if (i > 0)
            out.append(", ");
        out.append(JsonString(QString::fromUtf8(m_members[i].first)));
        out.append(": ");
        out.append(m_members[i].second);
    }
    out.append('}');
    return out;
}
