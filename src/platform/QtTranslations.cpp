#include "platform/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tarnwick::platform {

QString installQtTranslations(QCoreApplication& app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // The application owns it, so it lives as long as the texts it translates.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          folder)) {
        delete translator;
        return QStringLiteral("Не найден перевод Qt «qtbase_ru.qm» в папке %1: стандартные окна Qt будут на "
                              "английском. Установите пакет qt6-translations-l10n.")
            .arg(folder);
    }
    QCoreApplication::installTranslator(translator);
    return {};
}

} // namespace tarnwick::platform
