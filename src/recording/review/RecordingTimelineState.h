#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace tarnwick {

// What the review timeline reads of the review model, as plain values.
struct RecordingTimelineState {
    double start = 0;    // kept fragment, seconds
    double end = 0;
    double duration = 0; // the whole recording
    double playhead = 0;
    bool canScrub = false; // in review and trimming allowed
    bool tracking = false; // blur tracking runs: the trim is locked
    bool playing = false;
    bool exporting = false;
    std::optional<QString> videoSource; // the recording's file
};

// The review model as the timeline sees it: a reader of its current values and its operations.
// The review window fills it; every operation may change the values `state` returns at once.
struct RecordingTimelineModel {
    std::function<RecordingTimelineState()> state;
    std::function<void(double)> seekVideo; // never resumes playback
    std::function<void(double)> changeStart;
    std::function<void(double)> changeEnd;
    std::function<void()> playSelection;
    // Puts the trim back as it was (Esc during a drag), playback end included.
    std::function<void(double start, double end)> restoreTrim;
};

} // namespace tarnwick
