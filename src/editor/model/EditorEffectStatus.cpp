#include "editor/model/EditorEffectStatus.h"

#include "editor/model/AssignField.h"

namespace tarnwick {

void EditorEffectStatus::setPending(bool pending) { assignField(pending_, pending, touch_); }
void EditorEffectStatus::setFailed(bool failed) { assignField(failed_, failed, touch_); }
void EditorEffectStatus::setMessage(const std::optional<QString>& message) { assignField(message_, message, touch_); }

} // namespace tarnwick
