#include "platform/RoomScrollArea.h"

#include <QScrollBar>

namespace tarnwick::platform {

RoomScrollArea::RoomScrollArea(QWidget* content, QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    // The keys stay with the window's own controls.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    viewport()->setAutoFillBackground(false);
    setWidget(content);
}

QSize RoomScrollArea::sizeHint() const { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }

QSize RoomScrollArea::minimumSizeHint() const
{
    if (!widget())
        return {};
    const QSize content = widget()->minimumSizeHint().expandedTo(widget()->minimumSize());
    // Cut short, it shows a scroll bar beside the content, which keeps its least width.
    const int bar = content.height() > cap_.height() ? verticalScrollBar()->sizeHint().width() : 0;
    const int barBelow = content.width() > cap_.width() ? horizontalScrollBar()->sizeHint().height() : 0;
    return QSize(content.width() + bar, content.height() + barBelow).boundedTo(cap_);
}

bool RoomScrollArea::setCap(QSize cap)
{
    cap = cap.expandedTo(QSize(0, 0));
    if (cap == cap_)
        return false;
    cap_ = cap;
    updateGeometry();
    return true;
}

} // namespace tarnwick::platform
