// The widths of the status panes, from their table width or from their text.
#include "frame/PaneWidth.h"

int PaneWidthFromTable(int tableWidth, int screenWidth)
{
    return tableWidth > 0 ? tableWidth : screenWidth / 4;
}

int PaneWidthForText(int textWidth, int length)
{
    if (length <= 0)
        return textWidth;
    return textWidth + (textWidth / length) * 4;
}
