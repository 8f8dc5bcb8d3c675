// The scroll of the page view that the arrows, PageUp/PageDown and Home/End ask for.
#include "view/KeyScroll.h"

#include <QtCore/qnamespace.h>

bool KeyScroll(int nKey, bool bHorzBar, bool bVertBar, const QSize &line, const QSize &page,
               const QPoint &pos, const QSize &range, QSize &delta)
{
    const bool vertical = bVertBar || !bHorzBar;
    const auto along = [vertical](int d) { return vertical ? QSize(0, d) : QSize(d, 0); };
    const int nPos = vertical ? pos.y() : pos.x();
    const int nRange = vertical ? range.height() : range.width();
    switch (nKey) {
    case Qt::Key_Left:
        delta = QSize(-line.width(), 0);
        return true;
    case Qt::Key_Right:
        delta = QSize(line.width(), 0);
        return true;
    case Qt::Key_Up:
        delta = QSize(0, -line.height());
        return true;
    case Qt::Key_Down:
        delta = QSize(0, line.height());
        return true;
    case Qt::Key_PageUp:
        delta = along(-(vertical ? page.height() : page.width()));
        return true;
    case Qt::Key_PageDown:
        delta = along(vertical ? page.height() : page.width());
        return true;
    case Qt::Key_Home:
        delta = along(-nPos);
        return true;
    case Qt::Key_End:
        delta = along(nRange - nPos);
        return true;
    default:
        return false;
    }
}
