#pragma once
// The program's own artwork: the application icon and the toolbar strip.

#include <QIcon>
#include <QPixmap>

// The program's own artwork from its resource file: the application icon (resource 128) and the
// toolbar strip of six 24 x 24 images (print, zoom, previous, page, next, cancel).
QIcon CorvaneAppIcon();
// The strip; null when it is missing from the resources.
QPixmap ToolbarStrip();
