#pragma once

#include <QString>
#include <optional>

namespace tarnwick {

// The millisecond text of review times ("MM:SS.mmm") and its parser.
struct RecordingTimelineTime {
    // Seconds → "%02d:%02d.%03d" of minutes, seconds and milliseconds, rounded to the
    // millisecond; negative and non-finite values read as 0. Minutes grow as needed.
    static QString string(double seconds);
    // "SS", "MM:SS" or "HH:MM:SS", each with an optional fraction on the last piece and a
    // decimal comma accepted; none for anything else (negative, empty pieces, a later piece ≥ 60).
    static std::optional<double> parse(const QString& text);
};

} // namespace tarnwick
