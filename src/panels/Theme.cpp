#include "panels/Theme.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

namespace tarnwick {

QColor Theme::accent() { return QColor::fromRgbF(0.04f, 0.52f, 1.0f); }
QColor Theme::muted() { return QColor::fromRgbF(0.65f, 0.65f, 0.65f); }
QColor Theme::card() { return QColor::fromRgbF(0.16f, 0.16f, 0.16f); }
QColor Theme::background() { return QColor::fromRgbF(0.10f, 0.10f, 0.10f); }
QColor Theme::canvasBackground() { return QColor(23, 23, 23); }
QColor Theme::marker() { return QColor::fromRgbF(1.0f, 0.53f, 0.25f); }

QPalette Theme::darkPalette()
{
    const QColor text = QColor::fromRgbF(0.94f, 0.94f, 0.94f);
    const QColor button = QColor::fromRgbF(0.24f, 0.24f, 0.24f);
    QPalette palette;
    for (auto [role, colour] : {std::pair{QPalette::Window, background()}, {QPalette::WindowText, text},
                                {QPalette::Base, card()}, {QPalette::AlternateBase, card()}, {QPalette::Text, text},
                                {QPalette::Button, button}, {QPalette::ButtonText, text},
                                {QPalette::Light, button.lighter(150)}, {QPalette::Midlight, button.lighter(125)},
                                {QPalette::Mid, button.darker(130)}, {QPalette::Dark, button.darker(160)},
                                {QPalette::Shadow, QColor(Qt::black)}, {QPalette::Highlight, accent()},
                                {QPalette::HighlightedText, QColor(Qt::white)}, {QPalette::PlaceholderText, muted()},
                                {QPalette::ToolTipBase, card()}, {QPalette::ToolTipText, text}})
        palette.setColor(role, colour);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor::fromRgbF(0.45f, 0.45f, 0.45f));
    return palette;
}

QFont Theme::font(int pixels, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

const std::array<QColor, 6>& Theme::colors()
{
    static const std::array<QColor, 6> palette{
        QColor::fromRgbF(0.24f, 0.52f, 1.0f), QColor::fromRgbF(1.0f, 0.32f, 0.36f),
        QColor::fromRgbF(1.0f, 0.65f, 0.2f),  QColor::fromRgbF(0.24f, 0.84f, 0.61f),
        QColor(Qt::white),                    QColor(Qt::black),
    };
    return palette;
}

QColor Theme::paletteColor(int index)
{
    const auto& palette = colors();
    return palette[static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(palette.size()) - 1))];
}

QFont PrimaryButtonStyle::font()
{
    QFont font = QApplication::font();
    font.setPointSizeF(13);
    font.setWeight(QFont::DemiBold);
    return font;
}

PrimaryButtonStyle::Look PrimaryButtonStyle::look(bool enabled, bool pressed)
{
    QColor foreground = Qt::white;
    foreground.setAlphaF(enabled ? 1.0f : 0.55f);
    QColor background = Theme::accent();
    background.setAlphaF(!enabled ? 0.3f : pressed ? 0.8f : 1.0f);
    return {foreground, background};
}

PrimaryButton::PrimaryButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setFont(PrimaryButtonStyle::font());
    setCursor(Qt::PointingHandCursor);
}

QSize PrimaryButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + 2 * PrimaryButtonStyle::horizontalPadding,
                 metrics.height() + 2 * PrimaryButtonStyle::verticalPadding);
}

void PrimaryButton::paintEvent(QPaintEvent*)
{
    const auto look = PrimaryButtonStyle::look(isEnabled(), isDown());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.background);
    painter.drawRoundedRect(QRectF(rect()), PrimaryButtonStyle::cornerRadius, PrimaryButtonStyle::cornerRadius);
    painter.setPen(look.foreground);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}

QPainterPath FloppyDiskIcon::path(const QRectF& rect)
{
    auto grid = [&](double i, double j) {
        return QPointF(rect.x() + rect.width() * i / 16, rect.y() + rect.height() * j / 16);
    };
    QPainterPath path;
    path.moveTo(grid(2, 1));
    for (auto [i, j] : {std::pair{12, 1}, {15, 4}, {15, 15}, {1, 15}, {1, 1}})
        path.lineTo(grid(i, j));
    path.closeSubpath();
    path.moveTo(grid(4, 1));
    for (auto [i, j] : {std::pair{4, 6}, {11, 6}, {11, 1}})
        path.lineTo(grid(i, j));
    path.moveTo(grid(4, 15));
    for (auto [i, j] : {std::pair{4, 10}, {12, 10}, {12, 15}})
        path.lineTo(grid(i, j));
    return path;
}

} // namespace tarnwick
