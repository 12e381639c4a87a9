#include "editor/window/EditorFloatingControls.h"

#include "editor/model/EditorState.h"
#include "editor/tools/EditorPalette.h"
#include "editor/tools/ToolDetailsSections.h"
#include "editor/window/EditorPopover.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/UsableArea.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <algorithm>
#include <QToolButton>

namespace tarnwick {
namespace {

// The current colour in a 19-point disc, with a small chevron.
class ColorButton : public QAbstractButton {
public:
    ColorButton(EditorState& state, QWidget* parent) : QAbstractButton(parent), state_(state)
    {
        setFixedSize(19 + 5 + 8, 32);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(QStringLiteral("Палитра цветов"));
        setToolTip(QStringLiteral("Цвет выбранного объекта или новой разметки"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (!isEnabled())
            painter.setOpacity(0.4);
        const auto& custom = state_.style().customColor();
        const QColor swatch = custom ? QColor(custom->red, custom->green, custom->blue, custom->alpha)
                                     : Theme::paletteColor(state_.style().colorIndex());
        const QRectF disc(0.5, (height() - 19) / 2.0 + 0.5, 18, 18);
        painter.setBrush(swatch);
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.35f), 1));
        painter.drawEllipse(disc);
        platform::symbolIcon(u"chevron-down", palette().color(QPalette::WindowText))
            .paint(&painter, QRect(19 + 5, (height() - 8) / 2, 8, 8));
    }

private:
    EditorState& state_;
};

// The tool's details scroll only when the screen has no room for them: the area asks for the
// whole height of its content at its width, up to what the screen can show.
class DetailsScrollArea : public QScrollArea {
public:
    static constexpr int width = 310;
    static constexpr int screenMargin = 24;

    DetailsScrollArea()
    {
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::NoFocus);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setFixedWidth(width);
    }

    QSize sizeHint() const override
    {
        const QWidget* content = widget();
        if (!content)
            return QScrollArea::sizeHint();
        const int needed = content->hasHeightForWidth() ? content->heightForWidth(width) : content->sizeHint().height();
        const QScreen* where = screen();
        const int room = where ? platform::usableArea(*where).height() - 2 * screenMargin : needed;
        return QSize(width, std::max(0, std::min(needed, room)));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A row shown or hidden inside asks the popover for a new size.
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
};

QWidget* paletteCard(EditorState& state, EditorPalette** palette)
{
    auto* card = new QWidget;
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(15, 15, 15, 15);
    column->setSpacing(12);
    auto* title = new QLabel(QStringLiteral("Цвет объекта"), card);
    title->setFont(Theme::font(12, QFont::Medium));
    column->addWidget(title);
    *palette = new EditorPalette(state, card);
    column->addWidget(*palette);
    auto* hint = new QLabel(QStringLiteral("Радужный слот — выбрать цвет на снимке"), card);
    hint->setFont(Theme::font(10));
    QPalette muted = hint->palette();
    muted.setColor(QPalette::WindowText, Theme::muted());
    hint->setPalette(muted);
    column->addWidget(hint);
    return card;
}

} // namespace

EditorFloatingControls::EditorFloatingControls(EditorState& state, QWidget* parent)
    : QWidget(parent), state_(state), seenTool_(state.tool()), seenColor_(state.style().colorIndex()), seenPicking_(state.style().pickingColor())
{
    setFont(Theme::font(12));
    box_ = new QBoxLayout(QBoxLayout::LeftToRight, this);
    box_->setContentsMargins(0, 0, 0, 0);
    box_->setSpacing(10);

    color_ = new ColorButton(state, this);
    connect(color_, &QAbstractButton::clicked, this, [this] { toggle(palettePopover_); });
    box_->addWidget(color_, 0, Qt::AlignCenter);
    palettePopover_ = new EditorPopover(color_, paletteCard(state, &palette_));

    settings_ = editorSymbolButton(u"sliders-horizontal", Theme::muted(), QSize(24, 30), this);
    settings_->setIconSize(QSize(12, 12));
    settings_->setToolTip(QStringLiteral("Все настройки инструмента"));
    settings_->setAccessibleName(QStringLiteral("Настройки инструмента"));
    settings_->setEnabled(false);
    connect(settings_, &QToolButton::clicked, this, [this] { toggle(detailsPopover_); });
    box_->addWidget(settings_, 0, Qt::AlignCenter);
    detailsScroll_ = new DetailsScrollArea;
    detailsPopover_ = new EditorPopover(settings_, detailsScroll_);

    delete_ = editorSymbolButton(u"trash-2", Theme::muted(), QSize(24, 30), this);
    delete_->setIconSize(QSize(12, 12));
    delete_->setAccessibleName(QStringLiteral("Удалить выбранный объект"));
    connect(delete_, &QToolButton::clicked, this, [this] {
        if (const auto id = state_.selectedID())
            state_.remove(*id);
    });
    box_->addWidget(delete_, 0, Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    connect(&state, &EditorState::changed, this, &EditorFloatingControls::refresh);
    refresh();
}

AnnotationTool EditorFloatingControls::controlledTool(const EditorState& state)
{
    return toolPanels(DetailsContext::of(state)).strip.tool;
}

bool EditorFloatingControls::hasColor(AnnotationTool tool)
{
    return offersPalette(tool);
}

void EditorFloatingControls::setVertical(bool vertical)
{
    if (vertical_ == vertical)
        return;
    vertical_ = vertical;
    closePopovers();
    box_->setDirection(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    refresh();
}

void EditorFloatingControls::setDetailsContent(DetailsContent content)
{
    detailsContent_ = std::move(content);
    settings_->setEnabled(bool(detailsContent_));
}

void EditorFloatingControls::toggle(EditorPopover* popover)
{
    if (popover->isOpen())
        return popover->hide();
    if (popover == detailsPopover_ && !detailsScroll_->widget() && detailsContent_) {
        // The details are built on first use and then follow the model themselves.
        auto* padded = new QWidget;
        auto* box = new QVBoxLayout(padded);
        box->setContentsMargins(18, 18, 18, 18);
        box->addWidget(detailsContent_(state_));
        detailsScroll_->setWidget(padded);
    }
    popover->setAnchorBelow(!vertical_);
    popover->open();
}

void EditorFloatingControls::closePopovers()
{
    palettePopover_->hide();
    detailsPopover_->hide();
}

void EditorFloatingControls::refresh()
{
    if (state_.tool() != seenTool_ || (state_.style().pickingColor() && !seenPicking_))
        closePopovers();
    if (state_.style().colorIndex() != seenColor_)
        palettePopover_->hide();
    seenTool_ = state_.tool();
    seenColor_ = state_.style().colorIndex();
    seenPicking_ = state_.style().pickingColor();

    const bool colored = hasColor(controlledTool(state_));
    color_->setEnabled(colored);
    color_->setVisible(colored || !vertical_);
    color_->update();
    delete_->setVisible(vertical_ && state_.selectedID().has_value());
}

} // namespace tarnwick
