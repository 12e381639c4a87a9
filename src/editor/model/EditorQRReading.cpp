#include "editor/model/EditorQRReading.h"

#include "editor/model/AssignField.h"

namespace tarnwick {

QUuid EditorQRReading::begin()
{
    const QUuid id = QUuid::createUuid();
    assignField(id_, std::optional<QUuid>(id), touch_);
    assignField(message_, std::optional<QString>(QStringLiteral("Распознаём QR-код…")), touch_);
    return id;
}

bool EditorQRReading::finish(const QUuid& id, const std::optional<QString>& message)
{
    if (id_ != id)
        return false;
    assignField(id_, std::optional<QUuid>(), touch_);
    assignField(message_, message, touch_);
    return true;
}

void EditorQRReading::abandon()
{
    assignField(id_, std::optional<QUuid>(), touch_);
    assignField(message_, std::optional<QString>(), touch_);
}

void EditorQRReading::setMessage(const std::optional<QString>& message) { assignField(message_, message, touch_); }

} // namespace tarnwick
