#include "app/NativePath.h"

#include <cstring>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

} // namespace

int Utf8SequenceLength(const unsigned char *p, qsizetype n)
{
    const unsigned char c = p[0];
    int more = 0;
    char32_t min = 0;
    char32_t cp = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        more = 1;
        min = 0x80;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        more = 2;
        min = 0x800;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        more = 3;
        min = 0x10000;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (n <= more)
        return 0;
    for (int k = 1; k <= more; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return more + 1;
}

QString DecodeNativePath(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString text;
    text.reserve(n);
    // Runs of valid UTF-8 are decoded whole; only the bytes between them are escaped one by one.
    qsizetype run = 0;
    qsizetype i = 0;
    while (i < n) {
        const int length = Utf8SequenceLength(p + i, n - i);
        if (length > 0) {
            i += length;
            continue;
        }
        text.append(QString::fromUtf8(bytes.constData() + run, i - run));
        text.append(QChar(char16_t(kEscapeBase + p[i])));
        run = ++i;
    }
    text.append(QString::fromUtf8(bytes.constData() + run, n - run));
    return text;
}

QString DecodeNativePath(const char *bytes)
{
    return bytes == nullptr ? QString() : DecodeNativePath(QByteArray(bytes, qsizetype(std::strlen(bytes))));
}

QByteArray EncodeNativePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    const qsizetype n = path.size();
    qsizetype start = 0; // the first unit of the run of ordinary text not yet encoded
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path[i].unicode();
        const bool escaped =
            c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF && (i == 0 || !path[i - 1].isHighSurrogate());
        if (!escaped)
            continue;
        bytes += QStringView(path).mid(start, i - start).toUtf8();
        bytes += char(c - kEscapeBase);
        start = i + 1;
    }
    bytes += QStringView(path).mid(start).toUtf8();
    return bytes;
}
