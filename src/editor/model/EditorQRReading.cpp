#include "editor/model/EditorQRReading.h"

namespace tarnwick {

template <typename T>
void EditorQRReading::assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    touch_();
}

QUuid EditorQRReading::begin()
{
    const QUuid id = QUuid::createUuid();
    assign(id_, std::optional<QUuid>(id));
    assign(message_, std::optional<QString>(QStringLiteral("Распознаём QR-код…")));
    return id;
}

bool EditorQRReading::finish(const QUuid& id, const std::optional<QString>& message)
{
    if (id_ != id)
        return false;
    assign(id_, std::optional<QUuid>());
    assign(message_, message);
    return true;
}

void EditorQRReading::abandon()
{
    assign(id_, std::optional<QUuid>());
    assign(message_, std::optional<QString>());
}

void EditorQRReading::setMessage(const std::optional<QString>& message) { assign(message_, message); }

} // namespace tarnwick
