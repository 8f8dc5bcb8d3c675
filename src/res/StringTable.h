#pragma once
// The string table: every text the user sees, by resource id.

#include <QString>

// The string table: every text the user sees, by resource id. An id without a string gives an empty text.
QString LoadResString(int id);

// The part of a command's string after its line break: the tooltip label ("prompt\nlabel").
QString ResTooltipLabel(int id);
