#pragma once
// The page box's text read as a page number.

#include <QStringView>

// Reads the page box's text as a base-10 wcstol does: leading white space, one optional sign, then the
// decimal digits up to the first other character. A digit is any of the ten code points of the decimal
// runs that the C runtime's wide classification knows (ASCII, Arabic-Indic, Devanagari ... full-width),
// so the full-width 3 of a Japanese input method reads as 3. No digits give 0; a value beyond 32 bits
// saturates at 2147483647 or -2147483648.
int ParsePageText(QStringView text);

// The value 0..9 of a decimal digit of those runs, or -1.
int DecimalDigitValue(char16_t c);
