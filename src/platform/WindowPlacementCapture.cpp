// Keeping clear of a running capture's area, presenting and holding back, and the dialogs'
// placements.
#include "platform/WindowPlacementInternal.h"

#include "platform/PlacementRules.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>

namespace tarnwick::platform {

using namespace placement;

namespace {

// The gap left between a window and a capture's area it keeps clear of, and between a window and
// a panel it opens beside: more than a frame's border the guess of it leaves out.
constexpr int captureGap = 12, panelGap = 8;

} // namespace

// Gives a dialog or question its placement when it first shows, over its parent or in the middle
// of the screen Qt chose for it.
class WindowPlacement::DialogPlacer final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow() && qobject_cast<QDialog*>(w) && framed(*w) && !find(*w)) {
            WindowPlacement& placement = of(*w);
            placement.setPlace(w->parentWidget() ? Place::overParent() : Place());
            placement.opened_ = false;
            placement.shown();
        }
        return false;
    }
};

std::optional<QRect> WindowPlacement::clearOfCapture(const QRect& outer, const QRect& area, const QScreen* screen) const
{
    const std::optional<QRect>& keepOut = registry().keepOut;
    if (!keptClear_ || !keepOut || !screen)
        return outer;
    const QRect onScreen = *keepOut & pixelsOf(screen);
    if (onScreen.isEmpty())
        return outer;
    // Its edges taken outwards, so that no pixel of it is left under the window.
    const QPoint origin = originOf(screen);
    const double ratio = ratioOf(screen);
    const auto down = [&](int pixels, int from) { return from + int(std::floor((pixels - from) / ratio)); };
    const auto up = [&](int pixels, int from) { return from + int(std::ceil((pixels - from) / ratio)); };
    const QRect points(QPoint(down(onScreen.left(), origin.x()), down(onScreen.top(), origin.y())),
                       QPoint(up(onScreen.right() + 1, origin.x()) - 1, up(onScreen.bottom() + 1, origin.y()) - 1));
    return clearOf(outer, points, area, captureGap);
}

QRect WindowPlacement::clearOfPanels(const QRect& outer, const QRect& area, const QScreen* screen) const
{
    QRect placed = outer;
    // A panel of its own (the floating panel, a capture's controls) keeps the place it was given.
    if (!keptClear_ || !framed(window_))
        return placed;
    for (const QPointer<WindowPlacement>& p : registry().placements) {
        if (!p || p == this)
            continue;
        const QWidget& panel = p->window_;
        // A panel on another monitor is in that monitor's points: no neighbour of this one.
        if (panel.isVisible() && !framed(panel) && (panel.windowFlags() & Qt::WindowStaysOnTopHint)
            && panel.screen() == screen)
            placed = clearOf(placed, panel.frameGeometry(), area, panelGap).value_or(placed);
    }
    return placed;
}

void WindowPlacement::holdBack()
{
    // A question waits for its answer in its own loop: hidden, it would be answered.
    if (window_.isModal())
        return;
    heldBack_ = true;
    activateWhenShown_ = window_.isActiveWindow();
    window_.hide();
}

void WindowPlacement::present(bool activate)
{
    activateWhenShown_ = activate;
    if (registry().keepOut && keptClear_) {
        const auto [area, screen] = opened_ ? Area{areaOf(window_.screen()), window_.screen()} : openingArea();
        const QMargins frame = guessedFrame(screen);
        const QSize outer = window_.size().grownBy(frame);
        const QRect where = opened_ ? QRect(window_.frameGeometry().topLeft(), outer)
                                    : movedInside(openingFrame(area, outer), area);
        if (!clearOfCapture(movedInside(where, area), area, screen)) {
            heldBack_ = true;
            return;
        }
    }
    heldBack_ = false;
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    if (activate)
        window_.activateWindow();
}

void WindowPlacement::keepClearOf(std::optional<QRect> rootPixels)
{
    registry().keepOut = rootPixels;
    for (const QPointer<WindowPlacement>& p : QList(registry().placements)) {
        if (!p)
            continue;
        if (rootPixels && p->window_.isVisible() && p->keptClear_)
            p->schedule();
        else if (!rootPixels && p->heldBack_)
            p->present(p->activateWhenShown_);
    }
}

void WindowPlacement::placeEveryDialog()
{
    static QPointer<DialogPlacer> placer;
    if (placer || !qApp)
        return;
    placer = new DialogPlacer(qApp);
    qApp->installEventFilter(placer);
}

} // namespace tarnwick::platform
