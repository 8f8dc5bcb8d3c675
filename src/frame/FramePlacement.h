#pragma once
// Where and how large a new preview window opens.

#include <QRect>
#include <QSize>

// Where a new preview window opens: three quarters of the screen's available area on each axis, but
// at least the size its contents need to show whole (the toolbar, the status panes at their widths),
// never more than the available area; centred in that area.
QRect DefaultFrameRect(const QRect &available, const QSize &contents);
