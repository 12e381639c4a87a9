#include "app/ScrollingCaptureKeys.h"

namespace tarnwick {

// A key another program holds is simply not ours: the panel's buttons still work.
ScrollingCaptureKeys::ScrollingCaptureKeys(std::function<void()> finish, std::function<void()> cancel,
                                           std::unique_ptr<platform::GlobalHotKeys> keys)
    : keys_(std::move(keys))
{
    if (!keys_ || !keys_->isAvailable())
        return;
    keys_->add(Qt::Key_Return, Qt::NoModifier, std::move(finish));
    keys_->add(Qt::Key_Escape, Qt::NoModifier, std::move(cancel));
}

} // namespace tarnwick
