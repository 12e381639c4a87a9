#include "panels/PanelDragRegion.h"

#include <QMouseEvent>

namespace tarnwick {

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
    pointerOrigin_ = event->globalPosition();
    windowOrigin_ = window()->pos();
}

void PanelDragRegion::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    if (!pointerOrigin_ || !windowOrigin_)
        return;
    const QPointF moved = event->globalPosition() - *pointerOrigin_;
    window()->move(*windowOrigin_ + moved.toPoint());
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
