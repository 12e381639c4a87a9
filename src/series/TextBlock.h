#pragma once

#include <QFont>
#include <QSizeF>
#include <QString>
#include <QTextLayout>
#include <memory>

namespace tarnwick {

// One laid-out block of text: lines broken at word boundaries (or anywhere when a
// word is wider than the line), line separators honoured, leading included.
// Measuring and drawing both go through it, so the measured box and the drawn
// ink agree.
class TextBlock {
public:
    // A wrap width of 0 or less lays the text out without wrapping. `pixelSize`, when
    // it has a fraction the font's whole pixel size cannot hold, is kept by laying
    // the text out at a larger whole size to be drawn scaled down by scale().
    TextBlock(const QString& text, const QFont& font, double wrapWidth, double pixelSize = 0);

    // Unrounded size of the laid-out lines, in drawing pixels.
    QSizeF size() const { return size_; }
    // The layout's coordinates times scale() are drawing pixels.
    double scale() const { return scale_; }
    const QTextLayout& layout() const { return *layout_; }

private:
    std::unique_ptr<QTextLayout> layout_;
    QSizeF size_;
    double scale_ = 1;
};

} // namespace tarnwick
