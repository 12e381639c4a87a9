#include "editor/window/EditorChrome.h"

#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

QColor EditorChrome::bar() { return QColor::fromRgbF(0.16f, 0.16f, 0.16f); }
QColor EditorChrome::rail() { return QColor::fromRgbF(0.14f, 0.14f, 0.14f); }
QColor EditorChrome::floating() { return QColor::fromRgbF(0.19f, 0.19f, 0.19f); }
QColor EditorChrome::border() { return QColor::fromRgbF(1, 1, 1, 0.09f); }

EditorToolButtonStyle::Look EditorToolButtonStyle::look(bool selected, bool pressed)
{
    if (selected) {
        QColor fill = Theme::accent();
        fill.setAlphaF(0.17f);
        return {Theme::accent(), fill};
    }
    return {QColor::fromRgbF(0.78f, 0.78f, 0.78f), pressed ? QColor::fromRgbF(1, 1, 1, 0.09f) : QColor(Qt::transparent)};
}

EditorToolButton::EditorToolButton(const QString& symbol, QWidget* parent) : QAbstractButton(parent), symbol_(symbol)
{
    setCursor(Qt::PointingHandCursor);
}

void EditorToolButton::setSelected(bool selected)
{
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

void EditorToolButton::setSymbol(const QString& symbol)
{
    if (symbol_ == symbol)
        return;
    symbol_ = symbol;
    update();
}

void EditorToolButton::paintEvent(QPaintEvent*)
{
    const auto look = EditorToolButtonStyle::look(selected_, isDown());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), EditorToolButtonStyle::cornerRadius, EditorToolButtonStyle::cornerRadius);
    painter.fillPath(shape, look.background);
    const int side = EditorToolButtonStyle::symbolPixels + 3;
    const QRect symbolRect(rect().center() - QPoint(side / 2, side / 2), QSize(side, side));
    platform::symbolIcon(symbol_, look.foreground)
        .paint(&painter, symbolRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}

} // namespace tarnwick
