#pragma once

#include "series/Annotation.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace tarnwick {

enum class ColorCodeFormat { hexHash, hex, cssRGBA, normalizedRGB, androidARGB };
template <> struct EnumInfo<ColorCodeFormat> {
    static constexpr std::array<std::string_view, 5> names{"hexHash", "hex", "cssRGBA", "normalizedRGB", "androidARGB"};
};

// The colour written in a notation; decimals always with a point, whatever the locale.
QString colorCode(ColorCodeFormat format, const SampledColor& color);

// The colour read-out of one editor session: fed by the canvas on every pointer move.
class CursorColorState : public QObject {
    Q_OBJECT
public:
    explicit CursorColorState(QObject* parent = nullptr) : QObject(parent) {}

    const std::optional<SampledColor>& sample() const { return sample_; }
    bool insideCanvas() const { return insideCanvas_; }
    ColorCodeFormat format() const { return format_; }
    void setFormat(ColorCodeFormat format);
    std::optional<QString> code() const;

    void update(const std::optional<SampledColor>& sample, bool inside);

    // Set by the owner to remember the chosen notation.
    std::function<void(ColorCodeFormat)> formatChanged;

signals:
    void changed();

private:
    std::optional<SampledColor> sample_;
    bool insideCanvas_ = false;
    ColorCodeFormat format_ = ColorCodeFormat::hexHash;
};

} // namespace tarnwick
