// The messages of the driver link, their results and their names: what the preview and every driver agree on.
#pragma once

#include <QString>
#include <QtGlobal>

// The five messages between the preview and the driver.
enum : quint32 {
    WM_PREVIEW_OPENED = 0x8001,
    WM_PREVIEW_PAGES = 0x8002,
    WM_PREVIEW_RESULT = 0x8003,
    WM_PREVIEW_CLOSE = 0x8004,
    WM_PREVIEW_ENDED = 0x8005,
};
enum : quint64 { PREVIEW_RESULT_PRINT = 1, PREVIEW_RESULT_CANCEL = 2 };

// "WM_PREVIEW_PAGES" for the five messages, else the number in hexadecimal.
QString DriverMessageName(quint32 message);
// "post", "send", "reply" or "kind N" (the frame kinds of DriverFrame.h).
QString DriverKindName(quint32 kind);
