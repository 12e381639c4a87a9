#include "recording/RecordingOptions.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {

const QString keyCursor = QStringLiteral("recordingCursor");
const QString keyClicks = QStringLiteral("recordingClicks");
const QString keySystemAudio = QStringLiteral("recordingSystemAudio");
const QString keyMicrophone = QStringLiteral("recordingMicrophone");
const QString keyCodec = QStringLiteral("recordingCodec");
const QString keyQuality = QStringLiteral("recordingQuality");
const QString keyEntireDisplay = QStringLiteral("recordingEntireDisplay");

// A stored Boolean (or its QSettings text form, or a number) counts; a missing key or anything else is true.
bool objectBool(const QSettings& store, const QString& key)
{
    const QVariant value = store.value(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toBool();
    default:
        break;
    }
    const QString text = value.toString();
    if (text == u"true" || text == u"false")
        return text == u"true";
    return true;
}

// The store's Boolean accessor: missing is false, numbers and "true"/"yes"-like text as the store reads them.
bool plainBool(const QSettings& store, const QString& key)
{
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        bool isNumber = false;
        const int number = text.toInt(&isNumber);
        return isNumber ? number != 0 : text == u"true" || text == u"YES" || text == u"yes";
    }
    return value.toBool();
}

} // namespace

RecordingOptions RecordingOptions::fromPreferences(const QSettings* preferences)
{
    RecordingOptions options;
    if (!preferences)
        return options;
    const QSettings& store = *preferences;
    options.showsCursor = objectBool(store, keyCursor);
    options.highlightsClicks = objectBool(store, keyClicks);
    options.systemAudio = plainBool(store, keySystemAudio);
    options.microphone = plainBool(store, keyMicrophone);
    options.codec = store.value(keyCodec).toString() == u"h264" ? RecordingCodec::h264 : RecordingCodec::hevc;
    const QString quality = store.value(keyQuality).toString();
    options.quality = quality == u"web"       ? RecordingQuality::web
                      : quality == u"compact" ? RecordingQuality::compact
                                              : RecordingQuality::text;
    options.entireDisplay = objectBool(store, keyEntireDisplay);
    return options;
}

void RecordingOptions::save(QSettings& preferences) const
{
    preferences.setValue(keyCursor, showsCursor);
    preferences.setValue(keyClicks, highlightsClicks);
    preferences.setValue(keySystemAudio, systemAudio);
    preferences.setValue(keyMicrophone, microphone);
    preferences.setValue(keyCodec, rawString(codec));
    preferences.setValue(keyQuality, rawString(quality));
    preferences.setValue(keyEntireDisplay, entireDisplay);
}

QSizeF RecordingOptions::outputSize(QSizeF points, double scale) const
{
    const double w = points.width() * scale;
    const double h = points.height() * scale;
    const double cap = quality == RecordingQuality::web ? 1280 : quality == RecordingQuality::compact ? 1920 : 2560;
    double factor = std::min(cap / std::max(std::max(w, h), 2.0), 1.0);
    if (quality == RecordingQuality::web)
        factor = std::min(factor, 720 / std::max(std::min(w, h), 2.0));
    const auto even = [factor](double side) { return std::max(2.0, 2 * std::floor(side * factor / 2)); };
    return {even(w), even(h)};
}

std::int64_t RecordingOptions::bitRate(QSizeF size) const
{
    const double codecFactor = codec == RecordingCodec::h264 ? 0.075 : 0.045;
    const double qualityFactor = quality == RecordingQuality::web ? 0.8 : 1.0;
    const auto rate = static_cast<std::int64_t>(size.width() * size.height() * 30 * (codecFactor * qualityFactor));
    return std::max<std::int64_t>(rate, 400000);
}

} // namespace tarnwick
