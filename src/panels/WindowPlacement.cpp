#include "panels/WindowPlacement.h"

#include <algorithm>

namespace tarnwick {

QPoint centredOn(const QRect& usable, QSize size)
{
    QRect placed(QPoint(), size + QSize(0, titleBarRoom));
    placed.moveCenter(usable.center());
    return {std::max(placed.left(), usable.left()), std::max(placed.top(), usable.top())};
}

QPoint titleBarOn(const QRect& usable, const QRect& frame)
{
    const int left = std::max(usable.left(), std::min(frame.left(), usable.right() + 1 - frame.width()));
    const int top = std::max(usable.top(), std::min(frame.top(), usable.bottom() + 1 - titleBarRoom));
    return {left, top};
}

QSize fittedHeight(QSize preferred, QSize minimum, const QRect& usable)
{
    // The frame's own room above and below, as the editor leaves it.
    return QSize(preferred.width(), std::max(std::min(preferred.height(), usable.height() - 70), minimum.height()));
}

} // namespace tarnwick
