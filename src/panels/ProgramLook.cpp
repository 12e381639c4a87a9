#include "panels/ProgramLook.h"

#include "panels/DarkStyle.h"
#include "panels/PopupLook.h"
#include "platform/QtTranslations.h"

#include <QApplication>
#include <QLocale>

namespace tarnwick {

QString installProgramLook(QApplication& app)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QString missing = platform::installQtTranslations(app);
    QApplication::setStyle(new DarkStyle);
    installPopupLook(app);
    return missing;
}

} // namespace tarnwick
