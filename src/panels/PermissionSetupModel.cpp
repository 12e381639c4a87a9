#include "panels/PermissionSetupModel.h"

#include "panels/PermissionProbe.h"
#include "platform/KeyNames.h"

#include <memory>

namespace tarnwick {
namespace {

struct PermissionInfo {
    const char* title;
    const char* description;
    const char* symbol;
};

constexpr std::array<PermissionInfo, 3> permissionInfo{{
    {"Запись экрана",
     "Нужен для снимков окон, областей экрана и распознавания текста: X-сервер отдаёт изображение экрана.",
     "square-dashed"},
    {"Отслеживание ⌘V",
     "Позволяет замечать ⌘V в других окнах и освобождать серию после вставки. Нужно расширение RECORD X-сервера.",
     "keyboard"},
    {"Автоматическая вставка",
     "Позволяет вставлять снимки и отдельный текст комментариев автоматически. Нужно расширение XTEST X-сервера.",
     "clipboard-copy"},
}};

const PermissionInfo& info(SetupPermission permission) { return permissionInfo[static_cast<std::size_t>(permission)]; }

} // namespace

QString title(SetupPermission permission) { return platform::keyText(QString::fromUtf8(info(permission).title)); }
QString description(SetupPermission permission)
{
    return platform::keyText(QString::fromUtf8(info(permission).description));
}
QString symbol(SetupPermission permission) { return QString::fromUtf8(info(permission).symbol); }

PermissionSetupModel::PermissionSetupModel(Check check, Action request, Action retry, Explain explain,
                                           QObject* parent)
    : QObject(parent), check_(std::move(check)), request_(std::move(request)),
      retry_(std::move(retry)), explain_(std::move(explain))
{
    if (!check_ || !explain_) {
        auto probe = std::make_shared<PermissionProbe>();
        if (!check_)
            check_ = [probe](SetupPermission p) { return probe->granted(p); };
        if (!explain_)
            explain_ = [probe](SetupPermission p) { return probe->explanation(p); };
    }
    refresh();
}

template <typename T>
void PermissionSetupModel::assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    emit changed();
}

QString PermissionSetupModel::notice(SetupPermission permission) const
{
    return notices_[static_cast<std::size_t>(permission)];
}

void PermissionSetupModel::setGuided(bool guided) { assign(guided_, guided); }
void PermissionSetupModel::setCurrent(std::optional<SetupPermission> permission) { assign(current_, permission); }

void PermissionSetupModel::refresh()
{
    PermissionSet now;
    for (SetupPermission p : allCases<SetupPermission>())
        if (check_(p))
            now.insert(p);
    // A granted permission needs no explanation any more.
    for (SetupPermission p : now)
        assign(notices_[static_cast<std::size_t>(p)], QString());
    assign(granted_, now);
}

bool PermissionSetupModel::hasUnrequested() const
{
    for (SetupPermission p : allCases<SetupPermission>())
        if (!granted_.contains(p) && !requested_.contains(p))
            return true;
    return false;
}

QString PermissionSetupModel::primaryTitle() const
{
    if (allGranted())
        return QStringLiteral("Готово");
    if (guided_ && current_)
        return hasUnrequested() ? QStringLiteral("Следующий доступ") : QStringLiteral("Проверить доступ");
    if (hasUnrequested())
        return requested_.empty() ? QStringLiteral("Настроить все разрешения") : QStringLiteral("Продолжить настройку");
    return QStringLiteral("Проверить доступ");
}

void PermissionSetupModel::requestNext()
{
    if (requesting_)
        return;
    for (SetupPermission p : allCases<SetupPermission>()) {
        if (granted_.contains(p) || requested_.contains(p))
            continue;
        setCurrent(p);
        performRequest(p);
        return;
    }
    setGuided(false);
    setCurrent(std::nullopt);
}

void PermissionSetupModel::performRequest(SetupPermission permission)
{
    PermissionSet requested = requested_;
    requested.insert(permission);
    assign(requested_, requested);
    assign(requesting_, true);
    if (request_)
        request_(permission);
    assign(requesting_, false);
    refresh();
    // No X server prompts for a capability: say what is missing instead.
    if (!granted_.contains(permission))
        explain(permission);
}

void PermissionSetupModel::continueIfGranted()
{
    if (guided_ && !requesting_ && current_ && granted_.contains(*current_))
        requestNext();
}

void PermissionSetupModel::showCard(SetupPermission permission)
{
    if (requesting_)
        return;
    setGuided(false);
    setCurrent(permission);
    refresh();
    if (!granted_.contains(permission))
        explain(permission);
}

void PermissionSetupModel::requestIndividually(SetupPermission permission)
{
    if (requesting_)
        return;
    setGuided(false);
    setCurrent(std::nullopt);
    refresh();
    if (granted_.contains(permission))
        return;
    if (requested_.contains(permission)) {
        if (retry_)
            retry_(permission);
        explain(permission);
    } else {
        performRequest(permission);
    }
}

void PermissionSetupModel::explain(SetupPermission permission)
{
    assign(notices_[static_cast<std::size_t>(permission)], explain_(permission));
}

} // namespace tarnwick
