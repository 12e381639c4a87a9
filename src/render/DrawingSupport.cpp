#include "render/DrawingSupport.h"

#include "series/CanvasLabel.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QVector>
#include <cmath>

namespace tarnwick::drawing {

double luminance(const QColor& color)
{
    const QColor rgb = color.toRgb();
    if (!rgb.isValid())
        return 0;
    return 0.2126 * rgb.redF() + 0.7152 * rgb.greenF() + 0.0722 * rgb.blueF();
}

QPen dashedPen(const QColor& color, double width, std::initializer_list<double> dashPixels)
{
    QPen pen(color, width, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    QList<qreal> pattern;
    for (double d : dashPixels)
        pattern.append(d / width);
    pen.setDashPattern(pattern);
    return pen;
}

namespace {

// Font engines are not shared between threads, so each thread keeps its own pair.
const QRawFont& labelFont(bool bold)
{
    thread_local QRawFont regular, heavy;
    QRawFont& slot = bold ? heavy : regular;
    if (!slot.isValid()) {
        QFont font(CanvasLabel::family());
        font.setWeight(bold ? QFont::Bold : QFont::Normal);
        font.setPixelSize(64);
        slot = QRawFont::fromFont(font);
    }
    return slot;
}

} // namespace

void drawLabelLine(QPainter& painter, const QString& text, double pixelSize, bool bold, const QRectF& rect,
                   const QColor& color)
{
    if (text.isEmpty() || !std::isfinite(pixelSize) || pixelSize <= 0 || !rect.isValid())
        return;
    QRawFont raw = labelFont(bold);
    if (!raw.isValid())
        return;
    raw.setPixelSize(pixelSize);
    const QVector<quint32> glyphs = raw.glyphIndexesForString(text);
    const QVector<QPointF> advances = raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    QVector<QPointF> positions;
    positions.reserve(glyphs.size());
    double x = 0;
    for (const QPointF& a : advances) {
        positions.append(QPointF(x, 0));
        x += a.x();
    }
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);

    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setPen(color);
    painter.drawGlyphRun(QPointF(rect.left(), rect.top() + raw.ascent()), run);
    painter.restore();
}

} // namespace tarnwick::drawing
