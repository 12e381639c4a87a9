#include "series/CanvasLabel.h"

#include <QFont>
#include <QRawFont>
#include <QVector>
#include <cmath>

namespace tarnwick {

QString CanvasLabel::family() { return QStringLiteral("DejaVu Sans Mono"); }

QSizeF CanvasLabel::size(const QString& text, double pointSize, bool bold)
{
    if (!std::isfinite(pointSize) || pointSize <= 0)
        return {};
    QFont font(family());
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setPixelSize(64);
    // A raw font takes fractional pixel sizes and does not depend on any screen's DPI.
    QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return {};
    raw.setPixelSize(pointSize);
    const QVector<quint32> glyphs = raw.glyphIndexesForString(text);
    const QVector<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    double width = 0;
    for (const QPointF& a : advances)
        width += a.x();
    return QSizeF(width, raw.ascent() + raw.descent());
}

} // namespace tarnwick
