// The strict UTF-8 rule, and cuts between characters.
#include "link/Utf8.h"

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

QByteArray Utf8Left(const QByteArray &text, qsizetype limit)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.constData());
    const qsizetype n = text.size();
    qsizetype end = 0;
    while (end < n) {
        const int length = Utf8SequenceLength(p + end, n - end);
        const qsizetype step = length > 0 ? length : 1;
        if (end + step > limit)
            break;
        end += step;
    }
    return text.left(end);
}
