#pragma once
// The zoom box's text: reading a typed zoom, the text shown for a zoom and the list's steps.

#include <QString>
#include <QStringView>

#include <vector>

// Text rules of the zoom box; no widgets involved.

// True when the texts are equal with the Latin letters A-Z and a-z taken as the same; every other
// character must match exactly.
bool EqualsIgnoringLatinCase(QStringView a, QStringView b);

// Reads a zoom typed into the zoom box. The whole-label text (compared as it stands, Latin case aside)
// gives -1. Otherwise every "%" becomes a blank, white space is trimmed from both ends, and what is left
// must be ASCII digits only: an empty text reads as 0 and a number beyond 32 bits as 2147483647. The
// result is accepted only when it is -1 or a percent from 25 to 600. False leaves value untouched.
bool ParseZoomText(QStringView text, QStringView wholeLabel, int &value);

// What the zoom box shows for a zoom: the whole-label text for -1, else the percent followed by "%".
QString ZoomDisplayText(int zoom, const QString &wholeLabel);

// The entry the Ctrl+wheel steps to. itemData holds the entries' percents (the last entry is the whole
// label and is never chosen); steps > 0 zoom in toward the first entry, steps <= 0 zoom out. The result
// lies in 0 .. itemData.size() - 2, or is -1 when there are fewer than two entries.
int StepZoomIndex(const std::vector<int> &itemData, int zoom, int steps);
