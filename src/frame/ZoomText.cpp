// The zoom box's text rules: a typed zoom, the displayed text and the step through the list.
#include "frame/ZoomText.h"

#include "res/Format.h"

#include <limits>
#include <utility>

namespace {

char16_t FoldLatin(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

} // namespace

bool EqualsIgnoringLatinCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (FoldLatin(a[i].unicode()) != FoldLatin(b[i].unicode()))
            return false;
    }
    return true;
}

bool ParseZoomText(QStringView text, QStringView wholeLabel, int &value)
{
    if (EqualsIgnoringLatinCase(text, wholeLabel)) {
        value = -1;
        return true;
    }
    QString cleaned = text.toString();
    cleaned.replace(u'%', u' ');
    // QChar::isSpace covers the ASCII controls 9-13, the blank and the Unicode space separators, the
    // ideographic space U+3000 among them.
    cleaned = cleaned.trimmed();

    qint64 number = 0;
    for (const QChar c : std::as_const(cleaned)) {
        if (c < u'0' || c > u'9')
            return false;
        if (number <= std::numeric_limits<int>::max())
            number = number * 10 + (c.unicode() - u'0');
    }
    if (number > std::numeric_limits<int>::max())
        number = std::numeric_limits<int>::max();
    if (number < 25 || number > 600)
        return false;
    value = static_cast<int>(number);
    return true;
}

QString ZoomDisplayText(int zoom, const QString &wholeLabel)
{
    if (zoom == -1)
        return wholeLabel;
    return FormatString(u"%d%%", {zoom});
}

int StepZoomIndex(const std::vector<int> &itemData, int zoom, int steps)
{
    const int last = static_cast<int>(itemData.size()) - 2;
    if (last < 0)
        return -1;
    // The base index b is where the zoom sits among the falling percents: zooming in, the first entry
    // above it counted from the bottom, plus one; zooming out, the first entry below it, minus one.
    // Then t = b - steps, clamped to the percent entries.
    int base;
    if (steps > 0) {
        base = -1;
        for (int i = last; i >= 0; --i) {
            if (itemData[i] > zoom) {
                base = i + 1;
                break;
            }
        }
    } else {
        base = last + 1;
        for (int i = 0; i <= last; ++i) {
            if (itemData[i] < zoom) {
                base = i - 1;
                break;
            }
        }
    }
    const qint64 target = qint64(base) - steps;
    if (target <= 0)
        return 0;
    if (target >= last)
        return last;
    return static_cast<int>(target);
}
