// The default rectangle of a new preview window within the screen's available area.
#include "frame/FramePlacement.h"

#include <algorithm>

QRect DefaultFrameRect(const QRect &available, const QSize &contents)
{
    if (available.isEmpty())
        return QRect(QPoint(0, 0), contents.expandedTo(QSize(0, 0)));
    const int w = std::min(std::max(available.width() * 3 / 4, contents.width()), available.width());
    const int h = std::min(std::max(available.height() * 3 / 4, contents.height()), available.height());
    const QPoint topLeft(available.left() + (available.width() - w) / 2,
                         available.top() + (available.height() - h) / 2);
    return QRect(topLeft, QSize(w, h));
}
