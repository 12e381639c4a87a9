// Fitting a shown window to the room its monitor leaves it, read from the server.
#include "platform/WindowPlacementInternal.h"

#include "platform/PlacementRules.h"
#include "platform/RoomScrollArea.h"
#include "platform/UsableArea.h"
#include "platform/WindowFrame.h"

#include <QLayout>

namespace tarnwick::platform {

using namespace placement;

namespace {

// Rounded up: a frame taken a little wider never reaches off the usable area.
QMargins scaled(const QMargins& m, double factor)
{
    const auto up = [factor](int v) { return int(std::ceil(v * factor - 1e-9)); };
    return QMargins(up(m.left()), up(m.top()), up(m.right()), up(m.bottom()));
}

bool near(QSize a, QSize b) { return std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1; }

// The screen Qt takes a window in root pixels to be on: the one holding its middle, the one it is
// on while that still does, else one it reaches into.
const QScreen* screenHolding(const QRect& pixels, const QScreen* current)
{
    const QPoint middle = pixels.center();
    if (current && pixelsOf(current).contains(middle))
        return current;
    const QScreen* reached = nullptr;
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (pixelsOf(screen).contains(middle))
            return screen;
        if (pixelsOf(screen).intersects(pixels))
            reached = screen;
    }
    return reached ? reached : current ? current : QGuiApplication::primaryScreen();
}

} // namespace

struct WindowPlacement::Now {
    QRect client;     // root pixels
    QMargins frame;   // root pixels
    QSize points;     // the client's size in the scale of its screen
};

QMargins WindowPlacement::guessedFrame(const QScreen* screen) const
{
    if (!framed(window_))
        return {};
    if (const auto id = std::uint32_t(window_.internalWinId()); id && onX11())
        if (const std::optional<QMargins> extents = frameExtents(id))
            return scaled(*extents, 1 / ratioOf(screen));
    const QRect outer = window_.frameGeometry(), inner = window_.geometry();
    if (outer != inner)
        return between(outer, inner);
    return QMargins(0, titleBarGuess, 0, 0);
}

QSize WindowPlacement::room() const
{
    const QScreen* screen = screen_ ? screen_.data() : window_.screen();
    return areaOf(screen).size().shrunkBy(guessedFrame(screen));
}

void WindowPlacement::applyRoom(QSize room)
{
    // The window's scroll area holds all its content: it may take the room less the margins.
    QLayout* layout = window_.layout();
    bool capped = false;
    if (layout)
        for (RoomScrollArea* area : window_.findChildren<RoomScrollArea*>())
            if (area->window() == &window_) // not one of a window of its own it holds (the editor's text panel)
                capped = area->setCap(room.shrunkBy(layout->contentsMargins())) || capped;
    if (capped)
        layout->activate();
    if (least_) {
        // No smaller than its layout asks either: a scroll bar the cap brought needs its width.
        const QSize least = least_->expandedTo(layout ? layout->totalMinimumSize() : QSize()).boundedTo(room);
        if (window_.minimumSize() != least)
            window_.setMinimumSize(least);
    }
}

void WindowPlacement::refit()
{
    if (!window_.isVisible() || window_.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    if (!onX11())
        return fitWithoutServer();
    if (pointerButtonHeld()) {
        pointerWait_.start();
        return;
    }
    if (const std::optional<ShownWindow> server = shownWindow(std::uint32_t(window_.winId())))
        fitShown(*server);
}

void WindowPlacement::fitShown(const ShownWindow& server)
{
    const auto id = std::uint32_t(window_.winId());
    const std::optional<QMargins> extents = framed(window_) ? frameExtents(id) : std::optional<QMargins>(QMargins());
    QRect client = server.client;
    // Qt puts a window without a frame itself, and the window manager gets to it later: Qt's place
    // is the newer one.
    if (!framed(window_))
        client.moveTopLeft(toPixels(window_.geometry().topLeft(), window_.screen()));
    const QScreen* screen = screenHolding(client, screen_ ? screen_.data() : window_.screen());
    const double ratio = ratioOf(screen);
    const QMargins framePixels = extents.value_or(between(server.frame, client));
    const QMargins frame = scaled(framePixels, 1 / ratio);
    const QSize seen = (QSizeF(client.size()) / ratio).toSize();
    // Until the window manager shows the size last asked of it, the server shows an older one.
    QSize current = seen;
    if (asked_) {
        if (near(asked_->pixels, client.size()))
            asked_.reset();
        else
            current = asked_->points;
    }
    QSize wanted;
    if (screen_ && screen != screen_) {
        // Another monitor: the size in points it had, or what a smaller monitor cut of what was asked.
        const bool cut = wish_ && points_.width() <= wish_->width() && points_.height() <= wish_->height();
        points_ = cut ? *wish_ : points_;
        wish_ = wanted = points_;
    } else if (asking_ && wish_) {
        wanted = points_ = *wish_;
    } else if (unframed_) {
        wanted = points_ = *unframed_;
    } else {
        // Resized by the user or the window manager (a drag, its keys, a pager): its size in points
        // from now on. Not so a size the window's limits explain, nor one that follows Qt's change of
        // screen, which tells the window manager limits in the scale of the screen left.
        const QSize limited = placed_.expandedTo(window_.minimumSize()).boundedTo(window_.maximumSize());
        if (!qtMoved_ && !asked_ && !near(current, placed_) && !near(current, limited))
            points_ = current;
        wanted = points_;
    }
    qtMoved_ = false;
    asking_ = false;
    // Seen framed for the first time: still opening, with its real frame and size.
    const bool opening = unframed_ && extents;
    if (extents)
        unframed_.reset();
    screen_ = screen;
    const QRect area = areaOf(screen);
    if (extents != measuredExtents_ || area != measuredArea_) {
        measuredExtents_ = extents;
        measuredArea_ = area;
        if (onRoomChanged)
            onRoomChanged();
    }
    const QSize room = area.size().shrunkBy(frame);
    applyRoom(room);
    const QSize size = fittedSize(wanted, window_.minimumSize(), room).boundedTo(window_.maximumSize());
    QRect outer(toPoints(client.topLeft() - QPoint(framePixels.left(), framePixels.top()), screen), size.grownBy(frame));
    // Opening, seen with its real frame: placed by its opening again when it has sized itself anew
    // as it showed (a question does), else only kept clear of the panels with the frame it has.
    if (opening) {
        const QRect opened = near(seen, placed_) ? outer : movedInside(openingFrame(area, outer.size()), area);
        outer = clearOfPanels(opened, area, screen);
    }
    outer = movedInside(outer, area);
    const std::optional<QRect> clear = clearOfCapture(outer, area, screen);
    if (!clear)
        return holdBack();
    placed_ = size;
    const Now now{client, framePixels, seen};
    place(*clear, frame, size, screen, now);
}

void WindowPlacement::fitWithoutServer()
{
    // Without a server to read (tests on the offscreen platform) the window keeps its size and
    // comes onto the nearest usable area.
    const QRect outerNow = window_.frameGeometry();
    const QMargins frame = between(outerNow, window_.geometry());
    const QList<Area> all = areas();
    const Area* area = nearest(all, outerNow);
    const QSize size = window_.size();
    const QRect outer = area ? movedInside(QRect(outerNow.topLeft(), size.grownBy(frame)), area->rect)
                             : QRect(outerNow.topLeft(), size.grownBy(frame));
    const QRect client(outer.topLeft() + QPoint(frame.left(), frame.top()), size);
    if (client != window_.geometry())
        window_.setGeometry(client);
}

void WindowPlacement::place(const QRect& outer, const QMargins& frame, QSize size, const QScreen* screen, const Now& now)
{
    const double ratio = ratioOf(screen);
    const auto id = std::uint32_t(window_.winId());
    // A size kept in points keeps its pixels: turned into points and back it could lose one.
    const QSize pixels = size == now.points ? now.client.size() : (QSizeF(size) * ratio).toSize();
    const QRect target(toPixels(outer.topLeft(), screen) + QPoint(now.frame.left(), now.frame.top()), pixels);
    // Qt tells the window manager the size limits in the pixels of the screen it last placed the
    // window on, and the window manager holds the window to them: told again in this screen's.
    const QSize most = window_.maximumSize();
    setSizeLimits(id, (QSizeF(window_.minimumSize()) * ratio).toSize(),
                  most.width() >= QWIDGETSIZE_MAX ? QSize(32767, 32767) : (QSizeF(most) * ratio).toSize(), 1);
    if (target == now.client)
        return;
    // A framed window is put by the window manager, exactly, whatever Qt believes of its frame; one
    // without a frame Qt puts itself, and knows its new place and size at once.
    if (framed(window_) && moveResizeWindow(id, target)) {
        asked_ = Asked{pixels, size};
        return;
    }
    window_.setGeometry(QRect(outer.topLeft() + QPoint(frame.left(), frame.top()), size));
}

} // namespace tarnwick::platform
