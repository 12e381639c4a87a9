#include "editor/tools/FontRow.h"

#include "editor/tools/ToolLook.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace tarnwick {

FontRow::FontRow(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setText(title);
    setAccessibleName(title);
    setFixedHeight(rowHeight);
    setCursor(Qt::PointingHandCursor);
}

void FontRow::setSelected(bool selected)
{
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

void FontRow::paint(QPainter& painter, const QRect& rect, const QString& title, bool selected)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (selected) {
        QColor tint = Theme::accent();
        tint.setAlphaF(0.14f);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect), 5, 5);
        painter.fillPath(shape, tint);
    }
    const QFont font = toolLook::font(13);
    painter.setFont(font);
    painter.setPen(QColor::fromRgbF(0.94f, 0.94f, 0.94f));
    const int check = 14;
    const QRect text = rect.adjusted(8, 0, -8 - check - 6, 0);
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                     QFontMetrics(font).elidedText(title, Qt::ElideMiddle, text.width()));
    if (selected)
        painter.drawPixmap(QRect(rect.right() - 8 - check, rect.center().y() - check / 2, check, check),
                           platform::symbolPixmap(QStringLiteral("check"), 2 * check));
    painter.restore();
}

void FontRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, rect(), text(), selected_);
}

} // namespace tarnwick
