#pragma once

#include "platform/ActiveWindow.h"

#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <optional>

namespace tarnwick {

class AppModel;

// The Ctrl+V hand-off of a series to another application, a state machine over
// the model's series and clipboard. A Ctrl+V of the user (or our automatic paste)
// schedules the comment step; in chat mode it publishes the comments and types
// Ctrl+V into the window the images went to while that window is still in front,
// and the release step then ends the exchange. Any change of the series or the
// clipboard in between stops the steps. Time, the keyboard and the window manager
// are injected. GUI thread; owned by AppModel, whose `changed` reports its state.
class PasteHandOff {
public:
    static constexpr int commentDelayMs = 1000;
    static constexpr int releaseDelayMs = 700;
    static constexpr int automaticPasteDelayMs = 300;

    explicit PasteHandOff(AppModel& model);

    // A Ctrl+V of the user in another window (the watch calls it); also the
    // automatic paste of pasteAll.
    void handlePaste();
    // The panel's "paste images and text": activates the target window and
    // pastes the series into it, comments following as after a Ctrl+V.
    void pasteAll(const platform::ActiveWindow& target);

    // A step is scheduled: a further Ctrl+V starts nothing.
    bool pending() const { return pending_; }
    // Between a Ctrl+V and the step that follows it.
    bool transferInProgress() const { return transfer_; }
    // Whether we may type Ctrl+V ourselves; false while no hook is set.
    bool permitted() const { return pastePermission && pastePermission(); }

    // Injected; unset hooks answer "no" (no permission, nothing sent, no window).
    // Whether we may type Ctrl+V ourselves (the XTEST extension is there).
    std::function<bool()> pastePermission;
    // Types Ctrl+V into `window` while it is still the active one; true when sent.
    std::function<bool(quint32 window)> postPaste;
    // The window a paste goes to now: the active window, nothing when none.
    std::function<std::optional<platform::ActiveWindow>()> activeWindow;
    // Asks the window manager to bring `window` to the front.
    std::function<void(quint32 window)> activateWindow;
    // Runs `step` on the GUI thread `ms` milliseconds from now; the model sets a
    // default whose steps die with it.
    std::function<void(int ms, std::function<void()> step)> after;

private:
    void setFlags(bool pending, bool transfer);
    std::optional<quint32> activeId() const;
    bool posted(quint32 window) const { return postPaste && postPaste(window); }
    void commentStep(int revision, std::optional<std::uint64_t> changeCount, bool chat, std::optional<quint32> frontmost);
    void scheduleRelease(int revision);
    void releaseStep(int revision, std::optional<std::uint64_t> changeCount);
    void automaticPasteStep(int revision, std::optional<std::uint64_t> changeCount, quint32 target);
    bool stillCurrent(int revision, const std::optional<std::uint64_t>& changeCount) const;
    // Schedules a member step guarded by the model's lifetime.
    template <typename Step>
    void schedule(int ms, Step step);

    AppModel& model_;
    bool pending_ = false;
    bool transfer_ = false;
};

} // namespace tarnwick
