#pragma once
// The about box's dialog template: caption, font and controls in dialog units.

#include <QRect>

// The about box's dialog template (IDD_ABOUTBOX): caption, font and controls, with every position and
// size in dialog units.
enum class DialogItemKind { Icon, Text, DefaultButton };

struct DialogItem {
    DialogItemKind kind;
    int id;               // -1 for static items, IDOK for the button
    const char16_t *text; // the text of a static text or a button; the icon's resource for an icon
    QRect rect;           // x, y, width, height in dialog units
};

struct DialogTemplate {
    const char16_t *caption;
    const char16_t *fontFace;
    int pointSize;
    QRect rect; // position and size of the dialog in dialog units
    const DialogItem *items;
    int itemCount;
};

const DialogTemplate &AboutBoxTemplate();
