#pragma once

#include "series/Enumerations.h"

#include <QSettings>
#include <QSizeF>
#include <array>
#include <cstdint>
#include <string_view>

namespace tarnwick {

enum class RecordingCodec { hevc, h264 };
enum class RecordingQuality { web, compact, text };

template <>
struct EnumInfo<RecordingCodec> {
    static constexpr std::array<std::string_view, 2> names{"hevc", "h264"};
};
template <>
struct EnumInfo<RecordingQuality> {
    static constexpr std::array<std::string_view, 3> names{"web", "compact", "text"};
};

// Every user choice of one screen recording, handed by value to the capture
// engine and the writer.
struct RecordingOptions {
    bool entireDisplay = true;
    bool showsCursor = true;
    bool highlightsClicks = true;
    bool systemAudio = false;
    bool microphone = false;
    RecordingCodec codec = RecordingCodec::hevc;
    RecordingQuality quality = RecordingQuality::text;

    // Reads the seven recording keys; without a store, the defaults above.
    static RecordingOptions fromPreferences(const QSettings* preferences);
    void save(QSettings& preferences) const;

    // Pixel size of the video: capped per quality, never scaled up, whole even numbers of at least 2.
    QSizeF outputSize(QSizeF points, double scale) const;
    // Average video bit rate in bits per second, at least 400000.
    std::int64_t bitRate(QSizeF size) const;

    friend bool operator==(const RecordingOptions&, const RecordingOptions&) = default;
};

} // namespace tarnwick
