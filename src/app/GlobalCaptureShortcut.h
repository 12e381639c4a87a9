#pragma once

#include "platform/GlobalHotKeys.h"

#include <QStringList>
#include <functional>
#include <memory>

namespace tarnwick {

// The program's three system-wide capture keys: Ctrl+2 (area), Ctrl+Shift+0
// (text from the screen), Ctrl+Shift+Space (window). Created once at launch
// and kept for the life of the process; the actions are set afterwards and a
// press before that does nothing. GUI thread only.
class GlobalCaptureShortcut {
public:
    enum Id { area = 1, text = 2, window = 3 };

    // With `registerKeys` false nothing is grabbed and every flag stays false.
    explicit GlobalCaptureShortcut(bool registerKeys,
                                   std::unique_ptr<platform::GlobalHotKeys> keys = platform::makeGlobalHotKeys());
    ~GlobalCaptureShortcut();

    bool captureRegistered() const { return captureRegistered_; }
    bool textRegistered() const { return textRegistered_; }
    bool windowRegistered() const { return windowRegistered_; }
    // One sentence per key that could not be had, or the one that says hot
    // keys are unavailable in this session.
    const QStringList& failures() const { return failures_; }

    // Runs the action of hot key 1, 2 or 3 when set; other ids do nothing.
    void perform(int id) const;

    std::function<void()> action;
    std::function<void()> textAction;
    std::function<void()> windowAction;

private:
    bool add(Id id, Qt::Key key, Qt::KeyboardModifiers modifiers);

    std::unique_ptr<platform::GlobalHotKeys> keys_;
    bool captureRegistered_ = false;
    bool textRegistered_ = false;
    bool windowRegistered_ = false;
    QStringList failures_;
};

} // namespace tarnwick
