#pragma once

// Small pieces shared by the drawing routines; not part of the renderer's interface.

#include <QColor>
#include <QPen>
#include <QRectF>
#include <QString>
#include <initializer_list>

class QPainter;

namespace tarnwick::drawing {

// 0.2126 R + 0.7152 G + 0.0722 B of the colour's sRGB components.
double luminance(const QColor& color);

// A butt-capped dashed pen. Dash lengths are given in pixels; Qt wants them in pen widths.
QPen dashedPen(const QColor& color, double width, std::initializer_list<double> dashPixels);

// One line of label text in the monospaced label face at a pixel size, its baseline
// at rect.top() + ascent, clipped to rect (the box CanvasLabel::size measured).
void drawLabelLine(QPainter& painter, const QString& text, double pixelSize, bool bold, const QRectF& rect,
                   const QColor& color);

} // namespace tarnwick::drawing
