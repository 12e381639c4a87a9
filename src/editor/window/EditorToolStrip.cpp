#include "editor/window/EditorToolStrip.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorChrome.h"
#include "editor/window/EditorPopover.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <algorithm>

namespace tarnwick {
namespace {

const QString commentLabel = QStringLiteral("Комментарий");

// A tool slot; the comment slot may also carry its name beside the symbol.
class SlotButton : public EditorToolButton {
public:
    SlotButton(const QString& symbol, QWidget* parent) : EditorToolButton(symbol, parent), symbol_(symbol) {}
    void setLabelShown(bool shown)
    {
        labelShown_ = shown;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!labelShown_)
            return EditorToolButton::paintEvent(event);
        const auto look = EditorToolButtonStyle::look(selected(), isDown());
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), EditorToolButtonStyle::cornerRadius, EditorToolButtonStyle::cornerRadius);
        painter.fillPath(shape, look.background);
        const QFont font = Theme::font(11, QFont::Medium);
        const int symbol = EditorToolButtonStyle::symbolPixels + 3;
        const int text = QFontMetrics(font).horizontalAdvance(commentLabel);
        const int left = (width() - symbol - 6 - text) / 2;
        platform::symbolIcon(symbol_, look.foreground).paint(&painter, QRect(left, (height() - symbol) / 2, symbol, symbol));
        painter.setFont(font);
        painter.setPen(look.foreground);
        painter.drawText(QRect(left + symbol + 6, 0, text + 2, height()), Qt::AlignVCenter | Qt::AlignLeft, commentLabel);
    }

private:
    QString symbol_;
    bool labelShown_ = false;
};

} // namespace

EditorToolStrip::EditorToolStrip(EditorState& state, std::function<void(std::optional<EditorToolGroup>)> onActivate,
                                 QWidget* parent)
    : QWidget(parent), state_(state), onActivate_(std::move(onActivate)), seenTool_(state.tool())
{
    box_ = new QBoxLayout(QBoxLayout::LeftToRight, this);
    box_->setContentsMargins(0, 0, 0, 0);
    box_->setSpacing(spacing);
    for (int position = 1; position <= slotCount; ++position) {
        const AnnotationTool tool = toolbarTools()[static_cast<std::size_t>(position - 1)];
        auto* button = new SlotButton(symbol(tool), this);
        button->setFixedSize(side, side);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(QStringLiteral("%1 · %2").arg(title(tool)).arg(position));
        button->setAccessibleName(title(tool));
        connect(button, &QAbstractButton::clicked, this, [this, tool] { press(tool); });
        slots_[static_cast<std::size_t>(position - 1)] = button;
        box_->addWidget(button, 0, Qt::AlignCenter);
    }
    extra_ = editorSymbolButton(u"zoom-in", Theme::muted(), QSize(side, side), this);
    extra_->setIconSize(QSize(EditorToolButtonStyle::symbolPixels + 3, EditorToolButtonStyle::symbolPixels + 3));
    extra_->setAccessibleName(QStringLiteral("Лупа и дополнительные инструменты"));
    extra_->setToolTip(QStringLiteral("Лупа, QR-код, рулетка, выделитель · 9"));
    connect(extra_, &QToolButton::clicked, this, [this] {
        if (onActivate_)
            onActivate_(EditorToolGroup::extra);
        state_.style().activateExtraTool(state_.style().extraTool());
    });
    box_->addWidget(extra_, 0, Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    remember(state.tool());
    // Every single tool change counts, even several within one turn.
    connect(&state, &EditorState::changedNow, this, [this] {
        if (state_.tool() != seenTool_)
            remember(seenTool_ = state_.tool());
    });
    connect(&state, &EditorState::changed, this, &EditorToolStrip::refresh);
    updateCommentLabel();
    refresh();
}

void EditorToolStrip::setVertical(bool vertical)
{
    if (vertical_ == vertical)
        return;
    vertical_ = vertical;
    box_->setDirection(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    updateCommentLabel();
}

void EditorToolStrip::setCompact(bool compact)
{
    if (compact_ == compact)
        return;
    compact_ = compact;
    updateCommentLabel();
}

int EditorToolStrip::idealLength(bool compact) const
{
    return (slotCount + 1) * side + slotCount * spacing + (compact ? 0 : labelledWidth - side);
}

void EditorToolStrip::updateCommentLabel()
{
    const bool labelled = !vertical_ && !compact_;
    auto* comment = static_cast<SlotButton*>(slotButton(5));
    comment->setLabelShown(labelled);
    comment->setFixedSize(labelled ? labelledWidth : side, side);
}

void EditorToolStrip::remember(AnnotationTool tool)
{
    if (toolGroup(tool) == EditorToolGroup::line)
        lineTool_ = tool;
    else if (toolGroup(tool) == EditorToolGroup::drawing)
        drawingTool_ = tool;
}

void EditorToolStrip::press(AnnotationTool slotTool)
{
    if (onActivate_)
        onActivate_(toolGroup(slotTool));
    // The line and drawing slots come back to the extra tool last used in them.
    const std::optional<EditorToolGroup> group = toolGroup(slotTool);
    const AnnotationTool last = group == EditorToolGroup::line      ? lineTool_
                                : group == EditorToolGroup::drawing ? drawingTool_
                                                                    : slotTool;
    if (const std::optional<ExtraToolKind> extra = extraToolKind(last))
        state_.style().activateExtraTool(*extra);
    else
        state_.setTool(slotTool);
}

void EditorToolStrip::refresh()
{
    using T = AnnotationTool;
    using G = EditorToolGroup;
    const T tool = state_.tool();
    const std::optional<G> group = toolGroup(tool);
    // A slot lights up for its own tool and for any tool of its group.
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const T slotTool = toolbarTools()[i];
        const std::optional<G> slotGroup = toolGroup(slotTool);
        slots_[i]->setSelected(slotTool == tool || (slotGroup && slotGroup == group));
    }
    const T line = lineTool_ == T::ruler ? T::ruler : tarnwick::lineTool(state_.style().lineKind());
    slotButton(2)->setSymbol(symbol(line));
    slotButton(3)->setSymbol(symbol(shapeTool(state_.style().shape())));
    slotButton(7)->setSymbol(symbol(drawingTool_));
    const QColor tint = group == G::extra ? Theme::accent() : Theme::muted();
    if (tint != extraTint_) {
        extraTint_ = tint;
        extra_->setIcon(platform::symbolIcon(u"zoom-in", tint));
    }
}

} // namespace tarnwick
