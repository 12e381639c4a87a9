#include "recording/FramedPlacement.h"

#include "panels/PointSizeKeeper.h"
#include "platform/UsableArea.h"
#include "platform/WindowFrame.h"
#include "platform/WorkAreaWatch.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <utility>

namespace tarnwick::recording {

namespace {

// `outer` moved into `area`; its left and top edges win where it is too large.
QRect inside(QRect outer, const QRect& area)
{
    outer.moveTo(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
                 std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    return outer;
}

QMargins between(const QRect& outer, const QRect& inner)
{
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

QPoint topLeft(const QMargins& m)
{
    return QPoint(m.left(), m.top());
}

double ratioOf(const QScreen* screen)
{
    return screen ? screen->devicePixelRatio() : 1.0;
}

QPoint originOf(const QScreen* screen)
{
    return screen ? screen->geometry().topLeft() : QPoint();
}

// Qt keeps a screen's top left corner in root pixels and divides only its size by the scale.
QRect toPoints(const QRect& pixels, const QScreen* screen)
{
    const QPoint origin = originOf(screen);
    return QRect(origin + (pixels.topLeft() - origin) / ratioOf(screen), pixels.size() / ratioOf(screen));
}

QPoint toPixels(const QPoint& point, const QScreen* screen)
{
    const QPoint origin = originOf(screen);
    return origin + (point - origin) * ratioOf(screen);
}

QRect toPixels(const QRect& points, const QScreen* screen)
{
    return QRect(toPixels(points.topLeft(), screen), points.size() * ratioOf(screen));
}

// The screen that shows most of `frame` (root pixels). Qt moves a window to its new screen only
// after the move itself has been handled, so during a move its own screen is still the one it
// left: kept inside that, the window was dragged back, or went to and fro between two monitors,
// and measured in its scale, it was placed in the wrong one.
const QScreen* screenShowing(const QRect& frame, const QScreen* fallback)
{
    const QScreen* best = fallback;
    qint64 most = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = toPixels(screen->geometry(), screen) & frame;
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > most) {
            most = area;
            best = screen;
        }
    }
    return best;
}

} // namespace

FramedPlacement::FramedPlacement(QWidget& window)
    : window_(window), onX11_(QGuiApplication::platformName() == u"xcb"),
      keeper_(new PointSizeKeeper(window, [this](QSize points) { grow(points); }))
{
    if (onX11_) {
        workArea_ = std::make_unique<platform::WorkAreaWatch>();
        QObject::connect(workArea_.get(), &platform::WorkAreaWatch::changed, &window_, [this] {
            if (onRoomChanged)
                onRoomChanged();
            keepInside();
        });
    }
}

// The keeper is the window's child, and would outlive this part of it.
FramedPlacement::~FramedPlacement() { delete keeper_; }

std::optional<QMargins> FramedPlacement::extents()
{
    const auto id = static_cast<std::uint32_t>(window_.internalWinId());
    if (!onX11_ || !id)
        return std::nullopt;
    return platform::frameExtents(connection_, id);
}

QMargins FramedPlacement::decoration(const QScreen* screen)
{
    const auto id = static_cast<std::uint32_t>(window_.internalWinId());
    if (onX11_ && id) {
        // The window manager says it while the window is framed and keeps it after; before the
        // first framing it says it when asked.
        if (const std::optional<QMargins> extents = platform::frameExtents(connection_, id)) {
            const double ratio = ratioOf(screen);
            return QMargins(qRound(extents->left() / ratio), qRound(extents->top() / ratio),
                            qRound(extents->right() / ratio), qRound(extents->bottom() / ratio));
        }
        if (!window_.isVisible())
            platform::requestFrameExtents(connection_, id);
    }
    const QRect frame = window_.frameGeometry(), inner = window_.geometry();
    if (frame != inner)
        return between(frame, inner);
    return QMargins(0, 32, 0, 0); // room for a title bar
}

std::optional<FramedPlacement::Shown> FramedPlacement::shown()
{
    if (!window_.isVisible())
        return std::nullopt;
    if (!onX11_)
        return Shown{window_.frameGeometry(), window_.geometry(), window_.screen(), std::nullopt};
    // Qt's own idea of the frame lags behind the window manager: ask the server. Not yet
    // framed (not viewable), the window's position means nothing yet.
    const std::optional<platform::ShownWindow> onScreen =
        platform::shownWindow(connection_, static_cast<std::uint32_t>(window_.winId()));
    if (!onScreen)
        return std::nullopt;
    // The frame around the window as its widths say: while the window manager resizes the two one
    // after the other, the frame read apart may already have the new size and the window the old.
    QRect frame = onScreen->frame;
    if (const std::optional<QMargins> widths = extents())
        frame = onScreen->client.marginsAdded(*widths);
    const QScreen* screen = screenShowing(frame, window_.screen());
    return Shown{toPoints(frame, screen), toPoints(onScreen->client, screen), screen, onScreen->client};
}

void FramedPlacement::place(QPoint corner, const QMargins& frame, QSize size, const QScreen* screen,
                            const Shown* now)
{
    if (onX11_ && window_.isVisible()) {
        // The window manager puts the window exactly there, whatever Qt believes of its frame. The
        // frame's corner and the window's size turned into pixels, the frame's widths taken in its
        // own: each part rounded in points apart, a window at a fractional scale moved by a pixel
        // at every turn, and the window manager moved it back.
        const auto id = static_cast<std::uint32_t>(window_.winId());
        const std::optional<QMargins> extents = platform::frameExtents(connection_, id);
        const QPoint inset = extents ? QPoint(extents->left(), extents->top()) : topLeft(frame) * ratioOf(screen);
        // A size kept in points keeps its pixels: turned into points and back it could shrink by one.
        const bool kept = now && now->pixels && size == now->client.size();
        const QRect pixels(toPixels(corner, screen) + inset, kept ? now->pixels->size() : size * ratioOf(screen));
        if (now && now->pixels == pixels)
            return;
        if (platform::moveResizeWindow(connection_, id, pixels)) {
            asked_ = Asked{pixels.size(), size};
            return;
        }
    }
    window_.setGeometry(QRect(corner + topLeft(frame), size));
}

void FramedPlacement::grow(QSize wanted)
{
    keeper_->ask(wanted);
    const std::optional<Shown> now = shown();
    const QScreen* where = now ? now->screen : window_.screen();
    if (!where) {
        window_.resize(wanted);
        return;
    }
    const QRect area = platform::usableArea(*where);
    const QMargins frame = decoration(where);
    const QSize size = wanted.boundedTo(area.size().shrunkBy(frame)).expandedTo(window_.minimumSize());
    // Grows from where the user last saw it, as far into the area as needed.
    const QPoint origin =
        now ? now->frame.topLeft() : frameOrigin_.value_or(window_.geometry().topLeft() - topLeft(frame));
    const QRect outer = inside(QRect(origin, size.grownBy(frame)), area);
    place(outer.topLeft(), frame, size, where);
}

void FramedPlacement::fitBeforeShowing()
{
    const QScreen* where = window_.screen();
    if (!where)
        return;
    const QRect area = platform::usableArea(*where);
    const QMargins frame = decoration(where);
    // The frame is a guess until the window manager has framed the window: the size it asks for
    // now is kept for that moment.
    unframedWish_ = window_.size();
    const QSize size = window_.size().boundedTo(area.size().shrunkBy(frame)).expandedTo(window_.minimumSize());
    const QRect outer = inside(QRect(window_.geometry().topLeft() - topLeft(frame), size.grownBy(frame)), area);
    window_.setGeometry(QRect(outer.topLeft() + topLeft(frame), size));
}

QSize FramedPlacement::room()
{
    if (!window_.screen())
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    measuredExtents_ = extents();
    return platform::usableArea(*window_.screen()).size().shrunkBy(decoration(window_.screen()));
}

void FramedPlacement::keepInside()
{
    std::optional<Shown> now = shown();
    if (!now)
        return;
    // Framed at last, or framed anew: limits measured with a guessed frame would hold the
    // window to a size that no longer fits, or keep it from the room it has.
    if (onRoomChanged && extents() != measuredExtents_) {
        onRoomChanged();
        measuredExtents_ = extents();
        now = shown();
        if (!now)
            return;
    }
    const QScreen* where = now->screen;
    frameOrigin_ = now->frame.topLeft();
    const QRect area = platform::usableArea(*where);
    const QMargins frame = between(now->frame, now->client);
    // A frame larger than the guess left the window too large for the area: it gives up the
    // difference; one smaller than the guess gives back what the guess took.
    // Until the window manager has answered the last request, the server shows an older size; kept
    // to that, the window would undo a refit still on its way. An answer may be off by a pixel: the
    // window manager rounds to the steps Qt gives it.
    QSize shownSize = now->client.size();
    if (asked_ && now->pixels) {
        const QSize off = asked_->pixels - now->pixels->size();
        if (std::abs(off.width()) <= 1 && std::abs(off.height()) <= 1)
            asked_.reset();
        else
            shownSize = asked_->points;
    }
    const QSize wish = std::exchange(unframedWish_, std::nullopt).value_or(shownSize);
    const QSize size = wish.boundedTo(area.size().shrunkBy(frame)).expandedTo(window_.minimumSize());
    const QRect outer = inside(QRect(now->frame.topLeft(), size.grownBy(frame)), area);
    place(outer.topLeft(), frame, size, where, &*now);
}

} // namespace tarnwick::recording
