#include "series/TextBlock.h"

#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {
constexpr double unwrappedWidth = 10000;
}

TextBlock::TextBlock(const QString& text, const QFont& font, double wrapWidth, double pixelSize)
{
    QString laidOut = text;
    laidOut.replace(u'\n', QChar::LineSeparator);
    QFont layoutFont = font;
    const double size = std::clamp(pixelSize, 1.0, 4096.0);
    if (std::isfinite(pixelSize) && pixelSize > 0 && font.pixelSize() > 0 && size != font.pixelSize()) {
        // Fonts take whole pixels only: four times the size (within what Qt draws well)
        // puts every glyph and break where the fractional size would.
        const double factor = std::clamp(4096.0 / size, 1.0, 4.0);
        layoutFont.setPixelSize(std::max(1, static_cast<int>(std::lround(size * factor))));
        scale_ = size / layoutFont.pixelSize();
    }
    layout_ = std::make_unique<QTextLayout>(laidOut, layoutFont);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_->setTextOption(option);
    const double width = (std::isfinite(wrapWidth) && wrapWidth > 0) ? wrapWidth / scale_ : unwrappedWidth;

    double y = 0, maxWidth = 0;
    layout_->beginLayout();
    for (QTextLine line = layout_->createLine(); line.isValid(); line = layout_->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        maxWidth = std::max(maxWidth, line.naturalTextWidth());
    }
    layout_->endLayout();
    size_ = QSizeF(maxWidth, y) * scale_;
}

} // namespace tarnwick
