#include "series/ColorCode.h"

namespace tarnwick {
namespace {

QString hexByte(std::uint8_t v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); }
QString rgbHex(const SampledColor& c) { return hexByte(c.red) + hexByte(c.green) + hexByte(c.blue); }
QString fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

} // namespace

QString colorCode(ColorCodeFormat format, const SampledColor& c)
{
    switch (format) {
    case ColorCodeFormat::hexHash: return u'#' + rgbHex(c);
    case ColorCodeFormat::hex: return rgbHex(c);
    case ColorCodeFormat::cssRGBA: {
        const QString a = c.alpha == 255 ? QStringLiteral("1") : c.alpha == 0 ? QStringLiteral("0") : fixed(c.alpha / 255.0, 3);
        return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red).arg(c.green).arg(c.blue).arg(a);
    }
    case ColorCodeFormat::normalizedRGB:
        return QStringLiteral("(%1, %2, %3)").arg(fixed(c.red / 255.0, 2), fixed(c.green / 255.0, 2), fixed(c.blue / 255.0, 2));
    case ColorCodeFormat::androidARGB: return QStringLiteral("0x") + hexByte(c.alpha) + rgbHex(c);
    }
    return {};
}

void CursorColorState::setFormat(ColorCodeFormat format)
{
    const bool different = format != format_;
    format_ = format;
    if (!different)
        return;
    emit changed();
    if (formatChanged)
        formatChanged(format);
}

std::optional<QString> CursorColorState::code() const
{
    if (!sample_)
        return std::nullopt;
    return colorCode(format_, *sample_);
}

void CursorColorState::update(const std::optional<SampledColor>& sample, bool inside)
{
    bool changedAny = false;
    if (sample && sample_ != sample) {
        sample_ = sample;
        changedAny = true;
    }
    const bool nowInside = inside && sample.has_value();
    if (nowInside != insideCanvas_) {
        insideCanvas_ = nowInside;
        changedAny = true;
    }
    if (changedAny)
        emit changed();
}

} // namespace tarnwick
