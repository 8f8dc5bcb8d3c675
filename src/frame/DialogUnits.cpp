// Dialog units to pixels: the base units of a font and rectangles mapped with rounding.
#include "frame/DialogUnits.h"

namespace {

// a * b / c for a positive c, rounded half away from zero.
int MulDiv(int a, int b, int c)
{
    const qint64 product = qint64(a) * b;
    const qint64 magnitude = ((product < 0 ? -product : product) + c / 2) / c;
    return static_cast<int>(product < 0 ? -magnitude : magnitude);
}

} // namespace

DialogBaseUnits DialogBaseUnitsFor(int alphabetWidth, int height)
{
    return DialogBaseUnits{(alphabetWidth / 26 + 1) / 2, height};
}

QRect MapDialogRect(const QRect &dialogUnits, const DialogBaseUnits &units)
{
    const int left = MulDiv(dialogUnits.left(), units.cx, 4);
    const int top = MulDiv(dialogUnits.top(), units.cy, 8);
    const int width = MulDiv(dialogUnits.width(), units.cx, 4);
    const int height = MulDiv(dialogUnits.height(), units.cy, 8);
    return QRect(left, top, width, height);
}
