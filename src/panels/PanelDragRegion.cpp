#include "panels/PanelDragRegion.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>

namespace tarnwick {

namespace {

// Device pixels of a point in Qt's global coordinates, mapped as Qt maps it on
// `screen`: each screen keeps its device origin and scales from there.
QPointF toDevice(QPointF global, const QScreen* screen)
{
    if (!screen)
        return global;
    const QPointF origin = screen->geometry().topLeft();
    return origin + (global - origin) * screen->devicePixelRatio();
}

// Qt's global coordinates for a window of `size` whose top-left is at `device`:
// through the screen that then shows its centre, the one Qt will put it on,
// else through the one it is on now.
QPoint fromDevice(QPointF device, QSizeF size, const QScreen* current)
{
    const auto fits = [&](const QScreen* screen) {
        const QRectF pixels(screen->geometry().topLeft(), QSizeF(screen->geometry().size()) * screen->devicePixelRatio());
        return pixels.contains(device + QPointF(size.width(), size.height()) * screen->devicePixelRatio() / 2);
    };
    const QList<QScreen*> screens = QGuiApplication::screens();
    const auto found = std::find_if(screens.begin(), screens.end(), fits);
    const QScreen* screen = found != screens.end() ? *found : current;
    if (!screen)
        return device.toPoint();
    const QPointF origin = screen->geometry().topLeft();
    return (origin + (device - origin) / screen->devicePixelRatio()).toPoint();
}

} // namespace

PanelDragRegion::PanelDragRegion(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::OpenHandCursor);
    setAttribute(Qt::WA_NoSystemBackground);
}

void PanelDragRegion::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    // Screens of different scales make Qt's global space jump at their
    // edges (a 2× screen beside a 1× one is half as tall there): the drag
    // follows the pointer in device pixels instead.
    pointerOrigin_ = toDevice(event->globalPosition(), QGuiApplication::screenAt(event->globalPosition().toPoint()));
    windowOrigin_ = toDevice(window()->pos(), window()->screen());
}

void PanelDragRegion::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (!pointerOrigin_ || !windowOrigin_)
        return;
    const QPointF pointer = toDevice(event->globalPosition(), QGuiApplication::screenAt(event->globalPosition().toPoint()));
    window()->move(fromDevice(*windowOrigin_ + pointer - *pointerOrigin_, window()->size(), window()->screen()));
}

void PanelDragRegion::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const bool dragging = pointerOrigin_.has_value();
    pointerOrigin_.reset();
    windowOrigin_.reset();
    if (dragging)
        emit dragFinished();
}

} // namespace tarnwick
