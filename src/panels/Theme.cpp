#include "panels/Theme.h"

#include <QFrame>
#include <QGridLayout>
#include <QMessageBox>
#include <QLabel>
#include <QPainter>
#include <algorithm>

namespace tarnwick {

void Theme::giveRoom(QMessageBox& box)
{
    constexpr int readableWidth = 380;
    // Message boxes rebuild their grid when a text changes, so this comes after the last one.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(readableWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

QLabel* themedLabel(const QString& text, int pixels, QFont::Weight weight, QWidget* parent,
                    const std::optional<QColor>& colour)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(pixels, weight));
    if (colour) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, *colour);
        label->setPalette(palette);
    }
    return label;
}

QFrame* themedDivider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    // A plain line takes the text colour, which on a dark window is near white.
    line->setFrameShadow(QFrame::Plain);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgbF(1, 1, 1, 0.12f));
    line->setPalette(palette);
    return line;
}

QFont PrimaryButtonStyle::font()
{
    // 13 points of the interface are 13 device-independent pixels, like every other size.
    return Theme::font(13, QFont::DemiBold);
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
    const int room = icon().isNull() ? 0 : iconSize().width() + PrimaryButtonStyle::iconGap;
    return QSize(room + metrics.horizontalAdvance(text()) + 2 * PrimaryButtonStyle::horizontalPadding,
                 std::max(metrics.height(), icon().isNull() ? 0 : iconSize().height()) + 2 * PrimaryButtonStyle::verticalPadding);
}

void PrimaryButton::paintEvent(QPaintEvent*)
{
    const auto look = PrimaryButtonStyle::look(isEnabled(), isDown());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.background);
    painter.drawRoundedRect(QRectF(rect()), PrimaryButtonStyle::cornerRadius, PrimaryButtonStyle::cornerRadius);
    painter.setFont(font());
    // The icon and the text side by side, centred together.
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text());
    const bool hasIcon = !icon().isNull();
    const int iconWidth = hasIcon ? iconSize().width() + PrimaryButtonStyle::iconGap : 0;
    const int left = (width() - iconWidth - textWidth) / 2;
    if (hasIcon) {
        const QRect place(left, (height() - iconSize().height()) / 2, iconSize().width(), iconSize().height());
        painter.setOpacity(look.foreground.alphaF()); // dimmed as the text is
        icon().paint(&painter, place, Qt::AlignCenter, QIcon::Normal);
        painter.setOpacity(1);
    }
    painter.setPen(look.foreground);
    painter.drawText(QRect(left + iconWidth, 0, textWidth, height()), Qt::AlignCenter, text());
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

RoundedSurface::RoundedSurface(QColor fill, double radius, QWidget* parent, std::optional<QPen> edge)
    : QWidget(parent), fill_(fill), radius_(radius), edge_(std::move(edge))
{
}

void RoundedSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Inset by half the edge so the line is drawn whole inside the widget.
    const double inset = edge_ ? edge_->widthF() / 2 : 0;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius_, radius_);
    painter.fillPath(shape, fill_);
    if (edge_)
        painter.strokePath(shape, *edge_);
}

} // namespace tarnwick
