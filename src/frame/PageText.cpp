// Reading the page box's text as a page number, digit by digit as wcstol does.
#include "frame/PageText.h"

#include <QChar>

#include <limits>

namespace {

// First code point of each run of ten decimal digits.
constexpr char16_t kDigitRuns[] = {
    0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
    0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10,
};

} // namespace

int DecimalDigitValue(char16_t c)
{
    for (const char16_t first : kDigitRuns) {
        if (c >= first && c < first + 10)
            return c - first;
    }
    return -1;
}

int ParsePageText(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing it once it is past the 32-bit range.
    constexpr qint64 kLimit = qint64(std::numeric_limits<int>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DecimalDigitValue(text[i].unicode());
        if (digit < 0)
            break;
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + digit;
    }
    if (negative)
        return magnitude >= kLimit ? std::numeric_limits<int>::min() : static_cast<int>(-magnitude);
    return magnitude >= kLimit ? std::numeric_limits<int>::max() : static_cast<int>(magnitude);
}
