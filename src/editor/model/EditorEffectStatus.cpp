#include "editor/model/EditorEffectStatus.h"

namespace tarnwick {

template <typename T>
void EditorEffectStatus::assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    touch_();
}

void EditorEffectStatus::setPending(bool pending) { assign(pending_, pending); }
void EditorEffectStatus::setFailed(bool failed) { assign(failed_, failed); }
void EditorEffectStatus::setMessage(const std::optional<QString>& message) { assign(message_, message); }

} // namespace tarnwick
