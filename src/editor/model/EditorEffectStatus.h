#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace tarnwick {

// The local effects (blur, erase, pixelate) as the canvas last saw them:
// still being computed, failed, and the sentence the blur controls show. The
// canvas writes it; the controls and the notices read it. Owned by EditorState,
// which hears of every change through `touch`. GUI thread.
class EditorEffectStatus {
public:
    explicit EditorEffectStatus(std::function<void()> touch) : touch_(std::move(touch)) {}

    bool pending() const { return pending_; }
    void setPending(bool pending);
    bool failed() const { return failed_; }
    void setFailed(bool failed);
    const std::optional<QString>& message() const { return message_; }
    void setMessage(const std::optional<QString>& message);

private:
    std::function<void()> touch_;
    bool pending_ = false;
    bool failed_ = false;
    std::optional<QString> message_;
};

} // namespace tarnwick
