#include "app/GlobalCaptureShortcut.h"

namespace tarnwick {

GlobalCaptureShortcut::GlobalCaptureShortcut(bool registerKeys, std::unique_ptr<platform::GlobalHotKeys> keys)
{
    if (!registerKeys || !keys)
        return;
    keys_ = std::move(keys);
    if (!keys_->isAvailable()) {
        failures_ << keys_->errorText();
        return;
    }
    captureRegistered_ = add(area, Qt::Key_2, Qt::ControlModifier);
    textRegistered_ = add(text, Qt::Key_0, Qt::ControlModifier | Qt::ShiftModifier);
    windowRegistered_ = add(window, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
}

// The keys go first, so no press reaches the actions while they are dropped.
GlobalCaptureShortcut::~GlobalCaptureShortcut() { keys_.reset(); }

bool GlobalCaptureShortcut::add(Id id, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    if (keys_->add(key, modifiers, [this, id] { perform(id); }))
        return true;
    failures_ << keys_->errorText();
    return false;
}

void GlobalCaptureShortcut::perform(int id) const
{
    const std::function<void()>* chosen = id == area ? &action : id == text ? &textAction : id == window ? &windowAction : nullptr;
    if (chosen && *chosen)
        (*chosen)();
}

} // namespace tarnwick
