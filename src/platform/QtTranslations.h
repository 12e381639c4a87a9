#pragma once

#include <QString>

class QCoreApplication;

namespace tarnwick::platform {

// Installs Qt's own Russian catalogue (qtbase_ru from the system's translations
// folder, Debian's qt6-translations-l10n) on `app`, so file dialogs, context
// menus of text fields and key names in menus speak Russian like the rest.
// The interface is Russian whatever the system locale. Returns an empty string
// on success, else a Russian sentence naming the missing file. GUI thread, once.
QString installQtTranslations(QCoreApplication& app);

} // namespace tarnwick::platform
