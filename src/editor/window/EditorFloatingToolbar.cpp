#include "editor/window/EditorFloatingToolbar.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorChrome.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorPopover.h"
#include "editor/window/EditorToolStrip.h"
#include "editor/window/EditorToolVariants.h"
#include "panels/Theme.h"
#include "platform/Icons.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QMenu>
#include <QScrollArea>
#include <QToolButton>
#include <algorithm>

namespace tarnwick {
namespace {

constexpr int columnWidth = 56;
constexpr int orientationWidth = 28;
constexpr int sideMargin = 16;
constexpr int bottomMargin = 20;
constexpr int commentsRoom = 264;

const char16_t* const verticalSymbol = u"panel-left";
const char16_t* const horizontalSymbol = u"panel-bottom";

void castShadow(QWidget* widget, double opacity, double radius, double drop)
{
    auto* shadow = new QGraphicsDropShadowEffect(widget);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity)));
    shadow->setBlurRadius(radius * 2);
    shadow->setOffset(0, drop);
    widget->setGraphicsEffect(shadow);
}

} // namespace

EditorFloatingToolbar::EditorFloatingToolbar(EditorState& state, QWidget* host, std::function<void(bool)> chooseVertical)
    : QObject(host), state_(state), host_(host), chooseVertical_(std::move(chooseVertical))
{
    // The rounded surface under the strip and the controls.
    surface_ = new RoundedSurface(EditorChrome::floating(), 15, host, QPen(QColor::fromRgbF(1, 1, 1, 0.18f), 0.7));
    surface_->setAccessibleName(QStringLiteral("Панель инструментов"));
    castShadow(surface_, 0.35, 15, 8);
    surfaceBox_ = new QBoxLayout(QBoxLayout::LeftToRight, surface_);
    surfaceBox_->setSizeConstraint(QLayout::SetFixedSize);

    scroll_ = new QScrollArea(surface_);
    scroll_->setFrameShape(QFrame::NoFrame);
    // A click on the toolbar must not take the keyboard from the canvas.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    scroll_->setWidgetResizable(false);
    tools_ = new QWidget;
    toolsBox_ = new QBoxLayout(QBoxLayout::LeftToRight, tools_);
    strip_ = new EditorToolStrip(state, [this](std::optional<EditorToolGroup> group) {
        // A press that leaves the tool as it was still changes the cards.
        chosenGroup_ = group;
        refresh();
    }, tools_);
    divider_ = new QFrame(tools_);
    divider_->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 38);"));
    controls_ = new EditorFloatingControls(state, tools_);
    toolsBox_->addWidget(strip_, 0, Qt::AlignCenter);
    toolsBox_->addWidget(divider_, 0, Qt::AlignCenter);
    toolsBox_->addWidget(controls_, 0, Qt::AlignCenter);
    scroll_->setWidget(tools_);
    // The scroll area would paint the window colour over the surface.
    tools_->setAutoFillBackground(false);
    surfaceBox_->addWidget(scroll_, 0, Qt::AlignCenter);

    orientation_ = editorSymbolButton(horizontalSymbol, QColor::fromRgbF(0.94f, 0.94f, 0.94f), QSize(orientationWidth, 30), surface_);
    orientation_->setPopupMode(QToolButton::InstantPopup);
    orientation_->setAccessibleName(QStringLiteral("Расположение панели инструментов"));
    orientation_->setToolTip(QStringLiteral("Расположение панели инструментов"));
    menu_ = new QMenu(orientation_);
    connect(menu_->addAction(QStringLiteral("Горизонтально")), &QAction::triggered, this, [this] { chooseVertical_(false); });
    connect(menu_->addAction(QStringLiteral("Вертикально")), &QAction::triggered, this, [this] { chooseVertical_(true); });
    orientation_->setMenu(menu_);
    surfaceBox_->addWidget(orientation_, 0, Qt::AlignCenter);

    for (EditorToolGroup group : allCases<EditorToolGroup>()) {
        auto* panel = new EditorToolVariants(state, group, true, true, [] {}, host);
        castShadow(panel, 0.3, 12, 5);
        panel->hide();
        variants_[static_cast<std::size_t>(group)] = panel;
    }

    orient();
    host->installEventFilter(this);
    // After the children's own connections, so their sizes are current here.
    connect(&state, &EditorState::changed, this, &EditorFloatingToolbar::refresh);
    refresh();
}

void EditorFloatingToolbar::setVertical(bool vertical)
{
    if (vertical_ == vertical)
        return;
    vertical_ = vertical;
    orient();
    refresh();
}

void EditorFloatingToolbar::orient()
{
    const bool v = vertical_;
    strip_->setVertical(v);
    strip_->setCompact(false);
    controls_->setVertical(v);
    surfaceBox_->setDirection(v ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    surfaceBox_->setContentsMargins(v ? QMargins(0, 0, 0, 10) : QMargins(10, 10, 10, 10));
    surfaceBox_->setSpacing(v ? 8 : 12);
    toolsBox_->setDirection(v ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    toolsBox_->setContentsMargins(v ? QMargins(10, 10, 10, 0) : QMargins());
    toolsBox_->setSpacing(v ? 8 : 12);
    divider_->setFixedSize(v ? QSize(28, 1) : QSize(1, 24));
    const char16_t* symbol = v ? verticalSymbol : horizontalSymbol;
    orientation_->setIcon(platform::symbolIcon(symbol, QColor::fromRgbF(0.94f, 0.94f, 0.94f)));
    const auto actions = menu_->actions();
    // Drawn for the dark look the menu takes from the editor.
    actions[0]->setIcon(platform::menuIcon(v ? horizontalSymbol : u"check", Theme::darkPalette()));
    actions[1]->setIcon(platform::menuIcon(v ? u"check" : verticalSymbol, Theme::darkPalette()));
    for (auto* panel : variants_)
        panel->setContextual(!v);
}

void EditorFloatingToolbar::setCommentsShown(bool shown)
{
    if (commentsShown_ == shown)
        return;
    commentsShown_ = shown;
    place();
}

void EditorFloatingToolbar::setEnabled(bool enabled)
{
    surface_->setEnabled(enabled);
    for (auto* panel : variants_)
        panel->setEnabled(enabled);
    if (supplemental_)
        supplemental_->setEnabled(enabled);
    if (corner_)
        corner_->setEnabled(enabled);
}

void EditorFloatingToolbar::setSupplementalControls(QWidget* strip, std::function<bool()> hasContent)
{
    supplemental_ = strip;
    supplementalHasContent_ = std::move(hasContent);
    if (strip)
        strip->setParent(host_);
    followControls();
    refresh();
}

void EditorFloatingToolbar::setCornerControl(QWidget* control)
{
    corner_ = control;
    if (control)
        control->setParent(host_);
    followControls();
    refresh();
}

void EditorFloatingToolbar::followControls()
{
    // Controls made after this bar show and hide their buttons on the same change:
    // measure them only once they have.
    disconnect(&state_, &EditorState::changed, this, &EditorFloatingToolbar::refresh);
    connect(&state_, &EditorState::changed, this, &EditorFloatingToolbar::refresh);
}

std::optional<EditorToolGroup> EditorFloatingToolbar::contextualGroup() const
{
    const auto selected = state_.selectedAnnotation();
    const AnnotationTool effective = selected ? selected->kind : state_.drawingTool();
    // The remembered group settles the ruler and the highlighter, which sit in two groups.
    if (chosenGroup_ && contains(*chosenGroup_, effective))
        return chosenGroup_;
    return toolGroup(effective);
}

EditorToolVariants* EditorFloatingToolbar::shownVariants() const
{
    for (auto* panel : variants_)
        if (!panel->isHidden())
            return panel;
    return nullptr;
}

bool EditorFloatingToolbar::cornerShown() const
{
    if (state_.tool() == AnnotationTool::crop)
        return false;
    const auto selected = state_.selectedAnnotation();
    if (selected && selected->kind == AnnotationTool::image)
        return true;
    return state_.images().editingOriginal();
}

void EditorFloatingToolbar::refresh()
{
    const auto group = contextualGroup();
    for (EditorToolGroup g : allCases<EditorToolGroup>())
        variants_[static_cast<std::size_t>(g)]->setVisible(group == g);
    const bool hasContent = supplemental_ && supplementalHasContent_ && supplementalHasContent_();
    if (vertical_) {
        if (supplemental_)
            supplemental_->setVisible(state_.images().editingOriginal());
        if (corner_)
            corner_->setVisible(state_.images().editingOriginal());
    } else {
        const bool row = group.has_value() || hasContent;
        if (supplemental_)
            supplemental_->setVisible(hasContent);
        if (corner_)
            corner_->setVisible(row && cornerShown());
    }
    place();
}

int EditorFloatingToolbar::surfaceWidth(bool compact) const
{
    return 10 + strip_->idealLength(compact) + 12 + 1 + 12 + controls_->sizeHint().width() + 12 + orientationWidth + 10;
}

QRect EditorFloatingToolbar::stack(const QVector<QWidget*>& pieces, QPoint origin, bool row, bool centred)
{
    int along = 0;
    int across = 0;
    for (auto* piece : pieces) {
        piece->adjustSize();
        const QSize size = piece->size();
        along += (along ? 8 : 0) + (row ? size.width() : size.height());
        across = std::max(across, row ? size.height() : size.width());
    }
    const QRect box(origin, row ? QSize(along, across) : QSize(across, along));
    int at = 0;
    for (auto* piece : pieces) {
        const QSize size = piece->size();
        const int offset = centred ? (across - (row ? size.height() : size.width())) / 2 : 0;
        piece->move(row ? QPoint(box.left() + at, box.top() + offset) : QPoint(box.left() + offset, box.top() + at));
        piece->raise();
        at += (row ? size.width() : size.height()) + 8;
    }
    return box;
}

void EditorFloatingToolbar::place()
{
    placePieces();
    emit placed();
}

QRect EditorFloatingToolbar::contextBox() const
{
    QRect box;
    for (QWidget* piece : {static_cast<QWidget*>(shownVariants()), supplemental_.data(), corner_.data()})
        if (piece && !piece->isHidden())
            box |= piece->geometry();
    return box;
}

void EditorFloatingToolbar::placePieces()
{
    // Buttons shown or hidden this turn: bring the cached size hints up to date first.
    for (QWidget* widget : {static_cast<QWidget*>(strip_), static_cast<QWidget*>(controls_), tools_})
        widget->layout()->activate();
    const int width = host_->width();
    const int height = host_->height();
    QVector<QWidget*> context;
    if (auto* panel = shownVariants())
        context << panel;
    if (supplemental_ && !supplemental_->isHidden())
        context << supplemental_;
    if (corner_ && !corner_->isHidden())
        context << corner_;

    if (vertical_) {
        tools_->adjustSize();
        const int ideal = tools_->height() + 8 + 30 + 10;
        const int offered = std::max(height - 114, 100);
        scroll_->setFixedSize(columnWidth, std::min(ideal, offered) - (8 + 30 + 10));
        surface_->adjustSize();
        surface_->move(12, 70);
        surface_->raise();
        QPoint at(12 + surface_->width() + 8, 70);
        if (!context.isEmpty() && context.first() == shownVariants())
            at.rx() += stack({context.takeFirst()}, at, true, false).width() + 8;
        if (!context.isEmpty())
            stack(context, at, false, false);
        return;
    }

    const int available = width - 2 * sideMargin - (commentsShown_ ? commentsRoom : 0);
    strip_->setCompact(surfaceWidth(false) > available);
    // The comment slot may have changed its width: lay the strip out anew before measuring it.
    strip_->layout()->invalidate();
    strip_->layout()->activate();
    tools_->layout()->activate();
    tools_->adjustSize();
    scroll_->setFixedSize(tools_->size());
    surface_->adjustSize();
    const int centre = sideMargin + available / 2;
    surface_->move(centre - surface_->width() / 2, height - bottomMargin - surface_->height());
    surface_->raise();
    if (context.isEmpty())
        return;
    if (auto* panel = shownVariants())
        panel->fitWidth(available);
    // One row when its ideal width fits, else the pieces stacked.
    int rowWidth = -8;
    for (auto* piece : context)
        rowWidth += piece->sizeHint().width() + 8;
    const bool row = rowWidth <= available;
    const QRect box = stack(context, QPoint(0, 0), row, true);
    const QPoint origin(centre - box.width() / 2, surface_->y() - 8 - box.height());
    stack(context, origin, row, true);
}

bool EditorFloatingToolbar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == host_ && event->type() == QEvent::Resize)
        place();
    return QObject::eventFilter(watched, event);
}

} // namespace tarnwick
