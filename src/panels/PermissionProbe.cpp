#include "panels/PermissionProbe.h"

#include "platform/Capabilities.h"

#include <QtGlobal>

namespace tarnwick {
namespace {

bool waylandSession()
{
    return qgetenv("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0;
}

QString missingText(SetupPermission permission)
{
    switch (permission) {
    case SetupPermission::screen:
        return QStringLiteral("X-сервер не отдаёт изображение экрана (запрос GetImage к корневому окну отклонён). "
                              "Запустите Tarnwick в сеансе X11, где программам разрешено читать экран.");
    case SetupPermission::pasteWatch:
        return QStringLiteral("Без расширения RECORD Tarnwick не видит Ctrl+V в других окнах. "
                              "Включите расширение RECORD на X-сервере (уберите «-extension RECORD» из его "
                              "параметров или включите RECORD в разделе «Extensions» xorg.conf) и перезапустите сеанс.");
    case SetupPermission::autoPaste:
        return QStringLiteral("Без расширения XTEST Tarnwick не может сам нажать Ctrl+V в окне чата. "
                              "Включите расширение XTEST на X-сервере (уберите «-extension XTEST» из его "
                              "параметров или включите XTEST в разделе «Extensions» xorg.conf) и перезапустите сеанс.");
    }
    return {};
}

} // namespace

PermissionProbe::PermissionProbe(QString display) : connection_(std::move(display)) {}

bool PermissionProbe::granted(SetupPermission permission)
{
    switch (permission) {
    case SetupPermission::screen: return platform::hasScreenAccess(connection_);
    case SetupPermission::pasteWatch: return platform::hasRecordExtension(connection_);
    case SetupPermission::autoPaste: return platform::hasXTestExtension(connection_);
    }
    return false;
}

QString PermissionProbe::explanation(SetupPermission permission)
{
    QString text;
    // Under Wayland the X server is XWayland, which sees no other program's windows or keys.
    if (waylandSession())
        text = QStringLiteral("Tarnwick нужен сеанс X11: в сеансе Wayland программы не видят чужие окна и клавиши. "
                              "Выберите сеанс X11 (Xorg) на экране входа в систему. ");
    if (!connection_.connect())
        return text + connection_.errorText();
    return text + missingText(permission);
}

} // namespace tarnwick
