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
    // A wrap width of 0 or less lays the text out without wrapping.
    TextBlock(const QString& text, const QFont& font, double wrapWidth);

    // Unrounded size of the laid-out lines.
    QSizeF size() const { return size_; }
    const QTextLayout& layout() const { return *layout_; }

private:
    std::unique_ptr<QTextLayout> layout_;
    QSizeF size_;
};

} // namespace tarnwick
