#include "editor/tools/ToolDetailsPopover.h"

#include "editor/model/EditorState.h"
#include "editor/tools/EditorToolDetails.h"
#include "panels/Theme.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {
namespace {

constexpr int popoverWidth = 310;
constexpr int popoverMaxHeight = 460;
constexpr int padding = 18;

bool within(const QWidget* outer, const QWidget* w)
{
    for (; w; w = w->parentWidget())
        if (w == outer)
            return true;
    return false;
}

} // namespace

ToolDetailsPopover::ToolDetailsPopover(EditorState& state, const QColor& surface, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), scroll_(new QScrollArea(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setPalette(Theme::darkPalette());
    QPalette p = palette();
    p.setColor(QPalette::Window, surface);
    setPalette(p);
    setAutoFillBackground(true);
    setFixedWidth(popoverWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* padded = new QWidget;
    padded->setPalette(p);
    auto* inner = new QVBoxLayout(padded);
    inner->setContentsMargins(padding, padding, padding, padding);
    details_ = new EditorToolDetails(state, padded);
    inner->addWidget(details_);
    scroll_->setWidget(padded);
    scroll_->viewport()->setAutoFillBackground(false);
    layout->addWidget(scroll_);
    connect(&state, &EditorState::changed, this, &ToolDetailsPopover::fitHeight);
}

ToolDetailsPopover::~ToolDetailsPopover() { qApp->removeEventFilter(this); }

void ToolDetailsPopover::fitHeight()
{
    if (!isVisible())
        return;
    scroll_->widget()->adjustSize();
    const int wanted = scroll_->widget()->sizeHint().height();
    setFixedHeight(std::min(wanted, popoverMaxHeight));
}

void ToolDetailsPopover::toggle(QWidget* anchor)
{
    if (isVisible() && anchor_ == anchor) {
        hide();
        return;
    }
    showAnchored(anchor);
}

void ToolDetailsPopover::showAnchored(QWidget* anchor)
{
    anchor_ = anchor;
    details_->refresh();
    show();
    fitHeight();
    if (anchor) {
        const QPoint below = anchor->mapToGlobal(QPoint(anchor->width() / 2 - width() / 2, anchor->height() + 6));
        QPoint at = below;
        if (const QScreen* screen = anchor->screen()) {
            const QRect area = screen->availableGeometry();
            if (below.y() + height() > area.bottom())
                at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - height() - 6);
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
        }
        move(at);
    }
    qApp->installEventFilter(this);
}

bool ToolDetailsPopover::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && isVisible()) {
        const auto* w = qobject_cast<QWidget*>(watched);
        // A press inside, in a menu opened from inside, or on the anchor (which toggles) keeps it.
        if (w && w->window() != this && !within(this, w->window()->parentWidget()) && !within(anchor_, w))
            hide();
    }
    return QWidget::eventFilter(watched, event);
}

void ToolDetailsPopover::hideEvent(QHideEvent* event)
{
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
    emit closed();
}

} // namespace tarnwick
