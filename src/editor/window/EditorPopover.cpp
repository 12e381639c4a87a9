#include "editor/window/EditorPopover.h"

#include "editor/window/EditorChrome.h"
#include "panels/PopupAnchor.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/UsableArea.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {

EditorPopover::EditorPopover(QWidget* anchor, QWidget* content)
    : QWidget(anchor->window(), Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      anchor_(anchor), content_(content)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setPalette(Theme::darkPalette());
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(1, 1, 1, 1);
    box->addWidget(content);
    // It is a window of its own: it stays by its button when the editor moves or changes size.
    followAnchor(*this, *anchor, [this] {
        if (anchor_)
            place();
    });
}

void EditorPopover::open()
{
    if (!anchor_)
        return;
    // Content built a moment ago still has layouts pending: measured now, the popover would grow
    // just after it is shown, while the window manager is still framing it, and openbox keeps it
    // where it was first asked to stand.
    ensurePolished();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    place();
    show();
    raise();
    qApp->installEventFilter(this);
}

bool EditorPopover::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // Content that grows or shrinks while the popover is open resizes it.
    if (event->type() == QEvent::LayoutRequest && isVisible() && anchor_)
        place();
    return handled;
}

void EditorPopover::place()
{
    adjustSize();
    const QRect button(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size());
    QPoint at = anchorBelow_ ? QPoint(button.center().x() - width() / 2, button.top() - height() - 6)
                             : QPoint(button.right() + 7, button.center().y() - height() / 2);
    if (const QScreen* screen = anchor_->screen()) {
        const QRect area = platform::usableArea(*screen);
        // With no room on its side it goes to the other side of its button rather than over it.
        if (anchorBelow_ && at.y() < area.top() && button.bottom() + 7 + height() <= area.bottom())
            at.setY(button.bottom() + 7);
        if (!anchorBelow_ && at.x() + width() - 1 > area.right() && button.left() - 6 - width() >= area.left())
            at.setX(button.left() - 6 - width());
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(at);
}

void EditorPopover::hideEvent(QHideEvent* event)
{
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
    emit closed();
}

bool EditorPopover::eventFilter(QObject* watched, QEvent* event)
{
    // Escape in the editor or in the popover closes the popover first; a list opened from
    // the popover is a window of its own and closes itself.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        if (window == this || (anchor_ && window == anchor_->window())) {
            hide();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
        // Menus and lists opened from inside the popover are its own windows.
        for (auto* w = static_cast<QWidget*>(watched); w; w = w->parentWidget())
            if (w == this)
                return false;
        const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        const bool onButton = anchor_ && QRect(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size()).contains(at);
        if (!onButton)
            hide();
    }
    return false;
}

void EditorPopover::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), EditorChrome::floating());
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.18f));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QToolButton* editorSymbolButton(QStringView symbol, const QColor& colour, QSize size, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(platform::symbolIcon(symbol, colour));
    button->setIconSize(QSize(14, 14));
    button->setAutoRaise(true);
    button->setFixedSize(size);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace tarnwick
