#include "panels/ProgramLook.h"

#include "panels/DarkStyle.h"
#include "panels/PopupLook.h"
#include "platform/QtTranslations.h"
#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QLocale>

namespace tarnwick {

QString installProgramLook(QApplication& app)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QString missing = platform::installQtTranslations(app);
    QApplication::setStyle(new DarkStyle);
    installPopupLook(app);
    // Questions and dialogs open on the usable area like the program's other windows.
    platform::WindowPlacement::placeEveryDialog();
    return missing;
}

} // namespace tarnwick
