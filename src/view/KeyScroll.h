#pragma once
// The scroll that a key asks of the page view.

#include <QPoint>
#include <QSize>

// The scroll that a key asks of the page view, in pixels (positive rightwards and downwards): the
// arrows one line step of their axis; PageUp and PageDown one page step, Home and End to the start or
// end of the range, on the axis the mouse wheel scrolls (vertical when its bar is shown, else
// horizontal). The line and page steps are those of the current scroll layout; pos and range are
// the scroll positions and their maxima. False for any other key (and then delta is untouched).
bool KeyScroll(int nKey, bool bHorzBar, bool bVertBar, const QSize &line, const QSize &page,
               const QPoint &pos, const QSize &range, QSize &delta);
