// Loading the application icon and the toolbar strip from the program's resources.
#include "frame/Artwork.h"

// A static library's resources are initialised by name, from the global namespace, once.
static void InitArtworkResources()
{
    static const bool initialised = [] {
        Q_INIT_RESOURCE(Corvane);
        return true;
    }();
    Q_UNUSED(initialised);
}

QIcon CorvaneAppIcon()
{
    InitArtworkResources();
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/corvane/icon%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap ToolbarStrip()
{
    InitArtworkResources();
    return QPixmap(QStringLiteral(":/corvane/toolbar.png"));
}
