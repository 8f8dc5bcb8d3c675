// Installing Qt's Japanese translation catalogue for the toolkit's own texts.
#include "frame/ToolkitTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

QTranslator *g_pInstalled = nullptr;

} // namespace

bool InstallToolkitTranslation()
{
    return InstallToolkitTranslation(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

bool InstallToolkitTranslation(const QString &strFolder)
{
    if (g_pInstalled)
        return true;
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return false;
    auto *translator = new QTranslator(application);
    if (!translator->load(QStringLiteral("qtbase_ja"), strFolder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    g_pInstalled = translator;
    // The translator goes with the application object; a later application starts afresh.
    QObject::connect(translator, &QObject::destroyed, [] { g_pInstalled = nullptr; });
    return true;
}
