#pragma once

#include <QSizeF>
#include <QString>

namespace tarnwick {

// Measures a one-line label in the monospaced label face (DejaVu Sans Mono,
// regular or bold): typographic width by ascent + descent, without leading.
// Sizes are in pixels of the output image. Safe on any thread.
struct CanvasLabel {
    static QSizeF size(const QString& text, double pointSize, bool bold);
    static QString family();
};

} // namespace tarnwick
