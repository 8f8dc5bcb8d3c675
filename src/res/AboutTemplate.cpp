// The about box's dialog template: its controls, positions and sizes.
#include "res/AboutTemplate.h"

namespace {

enum : int { IDC_STATIC = -1, IDOK_BUTTON = 1 };

// In tab order. The version text stays "Version 1.0" whatever the build's version number is.
const DialogItem kAboutItems[] = {
    {DialogItemKind::Icon, IDC_STATIC, u":/corvane/icon32.png", QRect(14, 14, 21, 20)},
    {DialogItemKind::Text, IDC_STATIC, u"Corvane, Version 1.0", QRect(42, 14, 114, 8)},
    {DialogItemKind::Text, IDC_STATIC, u"Copyright (C) 2026 Corvane", QRect(42, 26, 114, 8)},
    {DialogItemKind::DefaultButton, IDOK_BUTTON, u"OK", QRect(113, 41, 50, 14)},
};

const DialogTemplate kAboutBox = {
    u"バージョン情報 Corvane", u"MS UI Gothic", 9,
    QRect(0, 0, 170, 62),      kAboutItems,     int(sizeof(kAboutItems) / sizeof(kAboutItems[0])),
};

} // namespace

const DialogTemplate &AboutBoxTemplate()
{
    return kAboutBox;
}
