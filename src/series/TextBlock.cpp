#include "series/TextBlock.h"

#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace {
constexpr double unwrappedWidth = 10000;
}

TextBlock::TextBlock(const QString& text, const QFont& font, double wrapWidth)
{
    QString laidOut = text;
    laidOut.replace(u'\n', QChar::LineSeparator);
    layout_ = std::make_unique<QTextLayout>(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_->setTextOption(option);
    const double width = (std::isfinite(wrapWidth) && wrapWidth > 0) ? wrapWidth : unwrappedWidth;

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
    size_ = QSizeF(maxWidth, y);
}

} // namespace tarnwick
