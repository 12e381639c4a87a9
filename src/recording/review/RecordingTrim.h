#pragma once

namespace tarnwick::review {

// The kept fragment of a recording, in seconds on its own timeline.
struct RecordingTrim {
    double duration = 0;
    double start = 0;
    double end = 0;

    friend bool operator==(const RecordingTrim&, const RecordingTrim&) = default;
};

} // namespace tarnwick::review
