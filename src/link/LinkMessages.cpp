// The names of the link's messages and frame kinds, for the drivers' logs.
#include "link/LinkMessages.h"

#include "link/DriverFrame.h"

QString DriverMessageName(quint32 message)
{
    switch (message) {
    case WM_PREVIEW_OPENED:
        return QStringLiteral("WM_PREVIEW_OPENED");
    case WM_PREVIEW_PAGES:
        return QStringLiteral("WM_PREVIEW_PAGES");
    case WM_PREVIEW_RESULT:
        return QStringLiteral("WM_PREVIEW_RESULT");
    case WM_PREVIEW_CLOSE:
        return QStringLiteral("WM_PREVIEW_CLOSE");
    case WM_PREVIEW_ENDED:
        return QStringLiteral("WM_PREVIEW_ENDED");
    default:
        return QStringLiteral("0x") + QString::number(message, 16);
    }
}

QString DriverKindName(quint32 kind)
{
    switch (kind) {
    case FRAME_POST:
        return QStringLiteral("post");
    case FRAME_SEND:
        return QStringLiteral("send");
    case FRAME_REPLY:
        return QStringLiteral("reply");
    default:
        return QStringLiteral("kind ") + QString::number(kind);
    }
}
