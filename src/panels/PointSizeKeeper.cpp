#include "panels/PointSizeKeeper.h"

#include "panels/FloatingPanel.h"
#include "platform/FramingWatch.h"
#include "platform/UsableArea.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tarnwick {

namespace {

// Qt 6.4 tells the window manager the window's least and largest sizes in the pixels of the screen
// it leaves, and the window manager holds the window to them: they are told again, in these pixels.
// Through the window's handle, which leaves the widget's size alone.
void resendSizeLimits(QWidget& window)
{
    QWindow* handle = window.windowHandle();
    if (!handle)
        return;
    const QSize least = handle->minimumSize(), most = handle->maximumSize();
    handle->setMinimumSize(QSize(0, 0));
    handle->setMaximumSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    handle->setMinimumSize(least);
    handle->setMaximumSize(most);
}

} // namespace

PointSizeKeeper::PointSizeKeeper(QWidget& window, Refit refit)
    : QObject(&window), window_(window), refit_(std::move(refit))
{
    if (!refit_)
        refit_ = [&window](QSize points) { fitIntoScreen(window, points); };
    window_.installEventFilter(this);
    // A window shown on another monitor than the one it was put on would be refitted for that one.
    platform::holdPlacesWhileFraming();
}

bool PointSizeKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    const double ratio = window_.devicePixelRatioF();
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Resize:
        // Crossing monitors, Qt tells of the window in the scale of the monitor it leaves, then of
        // the new screen, then of the same pixels in the new scale: the refit is decided by then.
        // Until a refit has run, the sizes told are Qt's old pixels, not the window's points: a
        // window that crosses back before then (Qt may see it on the wrong monitor for a moment
        // while the window manager frames it) keeps the size it had.
        if (!refitting_ && (ratio == ratio_ || ratio_ == 0)) {
            ratio_ = ratio;
            points_ = window_.size();
        }
        break;
    case QEvent::ScreenChangeInternal:
        if (ratio != ratio_ && window_.isVisible() && !points_.isEmpty()) {
            // A window a smaller monitor cut down gets back what was asked of it.
            const bool cut = asked_.isValid() && points_.width() <= asked_.width() && points_.height() <= asked_.height();
            const QSize wanted = cut ? asked_ : points_;
            asked_ = wanted;
            ++refitting_;
            // After Qt has finished with the change: it resizes the window to its old pixels.
            QMetaObject::invokeMethod(
                this,
                [this, wanted] {
                    --refitting_;
                    resendSizeLimits(window_);
                    refit_(wanted);
                },
                Qt::QueuedConnection);
        }
        ratio_ = ratio;
        break;
    default:
        break;
    }
    return false;
}

void PointSizeKeeper::fitIntoScreen(QWidget& window, QSize points)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect area = platform::usableArea(*screen);
    const QRect outer = window.frameGeometry(), inner = window.geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    const QSize size = points.boundedTo(area.size().shrunkBy(frame))
                           .expandedTo(window.minimumSize())
                           .boundedTo(window.maximumSize());
    if (size == window.size())
        return;
    window.resize(size);
    const QSizeF whole(size.grownBy(frame));
    window.move(FloatingPanel::constrainedOrigin(window.pos(), whole, {QRectF(area)}).toPoint());
}

} // namespace tarnwick
