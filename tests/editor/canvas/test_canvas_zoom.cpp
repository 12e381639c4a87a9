#include "CanvasTestSupport.h"

#include <QWheelEvent>

namespace tarnwick::test {
namespace {

using CanvasZoom = CanvasFixture;

void wheel(QWidget* widget, QPoint at, QPoint angle, Qt::KeyboardModifiers mods = {})
{
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), angle, Qt::NoButton, mods, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(widget, &event);
}

QPointF pixelUnder(const ImageCanvasView& canvas, QPointF p)
{
    const QRectF ir = canvas.imageRect();
    const QRectF vp = canvas.previewViewport();
    return vp.topLeft() + QPointF((p.x() - ir.left()) / ir.width() * vp.width(), (p.y() - ir.top()) / ir.height() * vp.height());
}

TEST_F(CanvasZoom, WheelStepsShiftPansAndZoomKeepsThePointUnderThePointer)
{
    const QPoint p = view({100, 50});
    // 10 points, 10 more, 10 more (a step), 18 and the 6 left over (a step); a notch of any size is one step.
    for (auto [angle, zoom] : {std::pair{50, 1.0}, {50, 1.0}, {50, 1.25}, {90, 1.5}, {120, 1.75}, {-480, 1.5}}) {
        wheel(canvas.get(), p, {0, angle});
        EXPECT_EQ(state->navigation().zoom, zoom) << angle;
    }
    state->setNavigation({4, {0, 0}});
    wheel(canvas.get(), p, {0, -120}, Qt::ShiftModifier);
    EXPECT_EQ(state->navigation().pan, QSizeF(-24, 0));
    EXPECT_EQ(state->navigation().zoom, 4);

    // Zooming keeps the point under the pointer, and clamps.
    state->setNavigation({1, {0, 0}});
    const QPointF q(150, 120);
    const QPointF before = pixelUnder(*canvas, q);
    canvas->zoomTo(3, q);
    EXPECT_EQ(state->navigation().zoom, 3);
    const QPointF after = pixelUnder(*canvas, q);
    EXPECT_NEAR(after.x(), before.x(), 1e-9);
    EXPECT_NEAR(after.y(), before.y(), 1e-9);

    canvas->zoomTo(100, q);
    EXPECT_EQ(state->navigation().zoom, 32);
    canvas->zoomTo(0.2, q);
    EXPECT_EQ(state->navigation().zoom, 1);
    EXPECT_EQ(state->navigation().pan, QSizeF(0, 0));
}

} // namespace
} // namespace tarnwick::test
