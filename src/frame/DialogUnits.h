#pragma once
// Dialog units: a dialog's layout in fractions of its font's character size, and their pixels.

#include <QRect>

// Dialog units: a dialog's layout is written in quarters of the font's average character width
// (horizontally) and eighths of its height (vertically), so the dialog grows with its font.
struct DialogBaseUnits {
    int cx = 0; // average character width in pixels
    int cy = 0; // character height in pixels
};

// The base units of a font from the width of the 52 letters "A".."Z" "a".."z" set in it and its height:
// cx = (alphabetWidth / 26 + 1) / 2, the average width rounded to the nearest pixel.
DialogBaseUnits DialogBaseUnitsFor(int alphabetWidth, int height);

// A rectangle in dialog units converted to pixels, each value rounded to the nearest pixel:
// x * cx / 4 and y * cy / 8.
QRect MapDialogRect(const QRect &dialogUnits, const DialogBaseUnits &units);
