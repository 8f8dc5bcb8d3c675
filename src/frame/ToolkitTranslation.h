#pragma once
// The toolkit's own texts in Japanese, from Qt's translation catalogue.

#include <QString>

// The toolkit's own texts (message box buttons, the edit fields' context menus, the standard dialogs)
// in Japanese, from Qt's translation catalogue "qtbase_ja" in the folder given, by default Qt's
// translations folder. Installed once per process; later calls report whether it is installed. A
// missing or unreadable catalogue leaves the toolkit's English texts and returns false; nothing else
// changes.
bool InstallToolkitTranslation();
bool InstallToolkitTranslation(const QString &strFolder);
