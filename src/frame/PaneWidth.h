#pragma once

// Widths of the status panes in pixels.

// A pane's width from its table value: a value of 0 or less means a quarter of the screen width,
// rounded toward zero.
int PaneWidthFromTable(int tableWidth, int screenWidth);

// The width of a pane sized to its text: the text's width cx plus four average characters,
// cx + (cx / length) * 4 with integer division. A length of 0 or less gives cx.
int PaneWidthForText(int textWidth, int length);
