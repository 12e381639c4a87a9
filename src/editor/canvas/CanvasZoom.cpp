// Zoom and pan of the canvas: the wheel, the pinch and the zoom keys all end in zoomTo().

#include "editor/canvas/ImageCanvasView.h"

#include "series/Geometry.h"

#include <QNativeGestureEvent>
#include <QWheelEvent>
#include <cmath>

namespace tarnwick {

namespace {

constexpr double smallestZoom = 1;
constexpr double largestZoom = 32;
constexpr double wheelStep = 0.25;
constexpr double pointsPerStep = 24;
// X11 reports a wheel notch as 120 units; smooth-scrolling devices send less at a time.
constexpr double notch = 120;

} // namespace

void ImageCanvasView::zoomTo(double requested, const std::optional<QPointF>& anchor)
{
    if (draft_ || movingOriginal_ || panOrigin_ || state_.text().isOpen() || state_.comment().isOpen()
        || state_.images().capturing() || std::isnan(requested))
        return;
    const CanvasNavigation nav = state_.navigation();
    const QRectF b = contentFrame();
    QPointF a = b.center();
    if (anchor && QRectF(rect()).contains(*anchor) && geo::contains(imageRect(), *anchor))
        a = *anchor;
    const QRectF f = visibleRect();
    const QRectF old = nav.imageRect(b, f);
    if (!(old.width() > 0 && old.height() > 0 && f.width() > 0 && f.height() > 0))
        return;
    const double u = (a.x() - old.left()) / old.width();
    const double v = (a.y() - old.top()) / old.height();
    const double z = std::clamp(requested, smallestZoom, largestZoom);
    CanvasNavigation next{z, QSizeF(0, 0)};
    if (z != smallestZoom) {
        const QRectF inset = b.adjusted(CanvasNavigation::inset, CanvasNavigation::inset, -CanvasNavigation::inset,
                                        -CanvasNavigation::inset);
        const double fit = std::min(inset.height() / f.height(), inset.width() / f.width());
        const double scale = z * std::max(fit, 0.001);
        const double w = f.width() * scale, h = f.height() * scale;
        const QSizeF candidate(a.x() - u * w + w * 0.5 - b.center().x(), a.y() - v * h + h * 0.5 - b.center().y());
        next.pan = CanvasNavigation::limited(candidate, QSizeF(w, h), b);
    }
    state_.setNavigation(next);
    update();
    if (cursorPoint_)
        updateCursorColor(*cursorPoint_);
}

void ImageCanvasView::zoomBy(double factor)
{
    scrollRemainder_ = 0;
    zoomTo(state_.navigation().zoom * factor);
}

void ImageCanvasView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (state_.text().isOpen() || state_.comment().isOpen() || state_.images().capturing() || draft_ || movingOriginal_)
        return;
    const QPointF p = event->position();
    // Points of scrolling: the device's own when it reports them, else 24 per notch.
    const QPoint angle = event->angleDelta();
    const bool precise = !event->pixelDelta().isNull() || std::max(std::abs(angle.x()), std::abs(angle.y())) < notch;
    const QPointF delta = !event->pixelDelta().isNull() ? QPointF(event->pixelDelta())
                                                        : QPointF(angle) * (pointsPerStep / notch);
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);

    if (!spaceDown_ && !shift && std::abs(delta.y()) >= std::abs(delta.x())) {
        if (event->phase() == Qt::ScrollMomentum || delta.y() == 0)
            return;
        double steps;
        if (precise) {
            const double total = delta.y() + scrollRemainder_;
            steps = std::trunc(total / pointsPerStep);
            scrollRemainder_ = total - steps * pointsPerStep;
            if (steps == 0)
                return;
        } else {
            steps = delta.y() > 0 ? 1 : -1;
        }
        zoomTo(state_.navigation().zoom + wheelStep * steps, p);
        return;
    }

    const CanvasNavigation nav = state_.navigation();
    const QSizeF d = shift && delta.x() == 0 ? QSizeF(delta.y(), 0) : QSizeF(delta.x(), delta.y());
    const QRectF b = contentFrame();
    const QRectF r = nav.imageRect(b, visibleRect());
    state_.setNavigation({nav.zoom, CanvasNavigation::limited(nav.pan + d, r.size(), b)});
    update();
    if (cursorPoint_)
        updateCursorColor(*cursorPoint_);
}

bool ImageCanvasView::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            zoomTo(state_.navigation().zoom * (1 + gesture->value()), gesture->position());
            return true;
        }
    }
    return QWidget::event(event);
}

} // namespace tarnwick
