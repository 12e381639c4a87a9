#include "panels/DarkStyle.h"

#include "series/Palette.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace tarnwick {
namespace {

constexpr double buttonRadius = 7;
// Room between a button's text and its edge, and between a tool button's icon and its text.
constexpr int textRoom = 8;
constexpr int iconGap = 6;

QColor white(double alpha) { return QColor::fromRgbF(1, 1, 1, float(alpha)); }

bool darkFor(const QStyleOption* option, const QWidget* widget)
{
    return option ? DarkStyle::dark(option->palette) : widget && DarkStyle::dark(widget->palette());
}

void fillRounded(QPainter* painter, const QRect& rect, const QColor& fill, const QColor& edge, double radius)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(edge.alpha() ? QPen(edge, 1) : QPen(Qt::NoPen));
    painter->setBrush(fill);
    painter->drawRoundedRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter->restore();
}

} // namespace

DarkStyle::DarkStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

bool DarkStyle::dark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 100; }

void DarkStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    if (!dark(option->palette) || (element != PE_PanelButtonCommand && element != PE_PanelButtonTool))
        return QProxyStyle::drawPrimitive(element, option, painter, widget);
    const State state = option->state;
    const bool enabled = state & State_Enabled, down = state & (State_Sunken | State_On), hover = state & State_MouseOver;
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element == PE_PanelButtonCommand && button && (button->features & QStyleOptionButton::Flat) && !down)
        return;
    if (element == PE_PanelButtonTool && (state & State_AutoRaise)) {
        // A raised tool button shows only under the pointer or while pressed, never a bevel.
        if (enabled && (down || hover))
            fillRounded(painter, option->rect, white(down ? 0.16 : 0.1), Qt::transparent, 6);
        return;
    }
    if (element == PE_PanelButtonCommand && (state & State_On))
        return fillRounded(painter, option->rect, Theme::accent(), Theme::accent(), buttonRadius);
    const double level = !enabled ? 0.05 : (state & State_Sunken) ? 0.22 : hover ? 0.16 : 0.1;
    fillRounded(painter, option->rect, white(level), white(0.14), buttonRadius);
}

void DarkStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const
{
    const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option);
    if (element != CE_ToolButtonLabel || !tool || !dark(option->palette) || tool->toolButtonStyle != Qt::ToolButtonTextBesideIcon
        || tool->icon.isNull() || tool->text.isEmpty())
        return QProxyStyle::drawControl(element, option, painter, widget);
    // Icon and text side by side with a gap between them, centred together.
    const QIcon::Mode mode = !(tool->state & State_Enabled) ? QIcon::Disabled : QIcon::Normal;
    const int textWidth = tool->fontMetrics.horizontalAdvance(tool->text);
    const int width = tool->iconSize.width() + iconGap + textWidth;
    const QRect content = tool->rect;
    const int left = content.left() + std::max(0, (content.width() - width) / 2);
    const QRect icon(left, content.center().y() - tool->iconSize.height() / 2, tool->iconSize.width(), tool->iconSize.height());
    tool->icon.paint(painter, icon, Qt::AlignCenter, mode);
    const QRect text(icon.right() + 1 + iconGap, content.top(), content.right() - icon.right() - iconGap, content.height());
    drawItemText(painter, text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, tool->palette,
                 tool->state & State_Enabled, tool->text, QPalette::ButtonText);
}

void DarkStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                   const QWidget* widget) const
{
    if (const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option);
        control == CC_ToolButton && tool && dark(option->palette) && (tool->features & QStyleOptionToolButton::HasMenu)
        && !(tool->features & QStyleOptionToolButton::MenuButtonPopup)) {
        // A button that opens its menu at once says so by its own symbol: no arrow in its corner.
        QStyleOptionToolButton plain(*tool);
        plain.features &= ~QStyleOptionToolButton::HasMenu;
        return QProxyStyle::drawComplexControl(control, &plain, painter, widget);
    }
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar || !dark(option->palette))
        return QProxyStyle::drawComplexControl(control, option, painter, widget);
    // A slim handle on nothing: the surface shows through the groove.
    const QRect handle = subControlRect(control, option, SC_ScrollBarSlider, widget).adjusted(2, 2, -2, -2);
    const bool active = (bar->activeSubControls & SC_ScrollBarSlider) && (bar->state & (State_MouseOver | State_Sunken));
    fillRounded(painter, handle, white(active ? 0.4 : 0.25), Qt::transparent, 3);
}

int DarkStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_ScrollBarExtent && darkFor(option, widget))
        return 10;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize DarkStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                  const QWidget* widget) const
{
    QSize needed = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (!darkFor(option, widget))
        return needed;
    if (type == CT_PushButton)
        needed += QSize(2 * textRoom, 4);
    else if (const auto* tool = qstyleoption_cast<const QStyleOptionToolButton*>(option);
             type == CT_ToolButton && tool && tool->toolButtonStyle == Qt::ToolButtonTextBesideIcon)
        needed += QSize(iconGap + textRoom, 0);
    return needed;
}

} // namespace tarnwick
