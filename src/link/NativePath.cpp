// File names decoded from and encoded into the bytes the system keeps.
#include "link/NativePath.h"

#include "link/Utf8.h"

#include <cstring>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

} // namespace

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
