#pragma once

// What the parts of WindowPlacement share; nothing outside src/platform includes this header.

#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QList>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

namespace tarnwick::platform {

class WorkAreaWatch;

namespace placement {

inline bool onX11() { return QGuiApplication::platformName() == u"xcb"; }

inline double ratioOf(const QScreen* screen) { return screen ? screen->devicePixelRatio() : 1.0; }

inline QPoint originOf(const QScreen* screen) { return screen ? screen->geometry().topLeft() : QPoint(); }

// Qt keeps a screen's top left corner in root pixels and divides only what lies beyond it.
inline QPoint toPoints(const QPoint& pixels, const QScreen* screen)
{
    const QPoint origin = originOf(screen);
    return origin + (QPointF(pixels - origin) / ratioOf(screen)).toPoint();
}

inline QPoint toPixels(const QPoint& points, const QScreen* screen)
{
    const QPoint origin = originOf(screen);
    return origin + (QPointF(points - origin) * ratioOf(screen)).toPoint();
}

inline QRect pixelsOf(const QScreen* screen)
{
    return QRect(originOf(screen), (QSizeF(screen->geometry().size()) * ratioOf(screen)).toSize());
}

inline QMargins between(const QRect& outer, const QRect& inner)
{
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

inline bool framed(const QWidget& window)
{
    const Qt::WindowType type = window.windowType();
    return !(window.windowFlags() & (Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint))
        && (type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet || type == Qt::Tool);
}

// Every placement of the program, the running capture's area and the one watch on the work area.
struct Registry {
    QList<QPointer<WindowPlacement>> placements;
    std::optional<QRect> keepOut;
    QPointer<WorkAreaWatch> workArea;
};
Registry& registry();

} // namespace placement

} // namespace tarnwick::platform
