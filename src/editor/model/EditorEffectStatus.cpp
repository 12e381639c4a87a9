#include "editor/model/EditorEffectStatus.h"

namespace tarnwick {

void EditorEffectStatus::setPending(bool pending)
{
    if (pending == pending_)
        return;
    pending_ = pending;
    touch_();
}

void EditorEffectStatus::setFailed(bool failed)
{
    if (failed == failed_)
        return;
    failed_ = failed;
    touch_();
}

void EditorEffectStatus::setMessage(const std::optional<QString>& message)
{
    if (message == message_)
        return;
    message_ = message;
    touch_();
}

} // namespace tarnwick
