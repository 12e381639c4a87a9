#include "platform/WindowPlacement.h"

#include "platform/FramingWatch.h"
#include "platform/PlacementRules.h"
#include "platform/RoomScrollArea.h"
#include "platform/UsableArea.h"
#include "platform/WindowFrame.h"
#include "platform/WorkAreaWatch.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <cstdlib>

namespace tarnwick::platform {

namespace {

// The gap left between a window and a capture's area it keeps clear of.
constexpr int captureGap = 12;

bool onX11() { return QGuiApplication::platformName() == u"xcb"; }

double ratioOf(const QScreen* screen) { return screen ? screen->devicePixelRatio() : 1.0; }

QPoint originOf(const QScreen* screen) { return screen ? screen->geometry().topLeft() : QPoint(); }

// Qt keeps a screen's top left corner in root pixels and divides only what lies beyond it.
QPoint toPoints(const QPoint& pixels, const QScreen* screen)
{
    const QPoint origin = originOf(screen);
    return origin + (QPointF(pixels - origin) / ratioOf(screen)).toPoint();
}

QPoint toPixels(const QPoint& points, const QScreen* screen)
{
    const QPoint origin = originOf(screen);
    return origin + (QPointF(points - origin) * ratioOf(screen)).toPoint();
}

QRect pixelsOf(const QScreen* screen)
{
    return QRect(originOf(screen), (QSizeF(screen->geometry().size()) * ratioOf(screen)).toSize());
}

QMargins between(const QRect& outer, const QRect& inner)
{
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

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

bool framed(const QWidget& window)
{
    const Qt::WindowType type = window.windowType();
    return !(window.windowFlags() & (Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint))
        && (type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet || type == Qt::Tool);
}

struct Registry {
    QList<QPointer<WindowPlacement>> placements;
    std::optional<QRect> keepOut;
    QPointer<WorkAreaWatch> workArea;
};

Registry& registry()
{
    static Registry r;
    return r;
}

void forEachPlacement(const std::function<void(WindowPlacement&)>& act)
{
    const QList<QPointer<WindowPlacement>> all = registry().placements;
    for (const QPointer<WindowPlacement>& p : all)
        if (p)
            act(*p);
}

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

struct WindowPlacement::Now {
    QRect client;     // root pixels
    QMargins frame;   // root pixels
    QSize points;     // the client's size in the scale of its screen
};

WindowPlacement& WindowPlacement::of(QWidget& window)
{
    if (WindowPlacement* placement = find(window))
        return *placement;
    return *new WindowPlacement(window);
}

WindowPlacement* WindowPlacement::find(const QWidget& window)
{
    return window.findChild<WindowPlacement*>(QString(), Qt::FindDirectChildrenOnly);
}

WindowPlacement::WindowPlacement(QWidget& window) : QObject(&window), window_(window)
{
    window_.installEventFilter(this);
    // Shown already: it opened where it is.
    opened_ = window_.isVisible();
    points_ = placed_ = window_.size();
    screen_ = window_.screen();
    pointerWait_.setInterval(50);
    connect(&pointerWait_, &QTimer::timeout, this, [this] {
        if (pointerButtonHeld())
            return;
        pointerWait_.stop();
        schedule();
    });
    Registry& r = registry();
    r.placements.removeAll(nullptr);
    r.placements << this;
    if (onX11()) {
        // A window shown on another monitor than the one it was put on would be fitted for that one.
        holdPlacesWhileFraming();
        if (!r.workArea) {
            r.workArea = new WorkAreaWatch(qApp);
            QObject::connect(r.workArea.data(), &WorkAreaWatch::changed, qApp, [] {
                forEachPlacement([](WindowPlacement& p) { p.schedule(); });
            });
        }
    }
}

WindowPlacement::~WindowPlacement() { registry().placements.removeAll(this); }

void WindowPlacement::setPlace(Place place) { place_ = place; }

void WindowPlacement::ask(QSize points)
{
    wish_ = points;
    asking_ = true;
    if (window_.isVisible())
        return schedule();
    window_.resize(onX11() ? fittedSize(points, window_.minimumSize(), room()).boundedTo(window_.maximumSize()) : points);
}

void WindowPlacement::setLeast(QSize points)
{
    least_ = points;
    applyRoom(room());
}

QList<WindowPlacement::Area> WindowPlacement::areas() const
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QList<Area> all;
    if (areas_) {
        const QList<QRect> given = areas_();
        for (qsizetype i = 0; i < given.size(); ++i)
            all << Area{given[i], i < screens.size() ? screens[i] : QGuiApplication::primaryScreen()};
        return all;
    }
    for (const QScreen* screen : screens)
        all << Area{platform::usableArea(*screen), screen};
    return all;
}

QRect WindowPlacement::areaOf(const QScreen* screen) const
{
    const QList<Area> all = areas();
    for (const Area& a : all)
        if (a.screen == screen)
            return a.rect;
    if (!all.isEmpty())
        return all.first().rect;
    return screen ? platform::usableArea(*screen) : QRect(0, 0, 1440, 900);
}

const WindowPlacement::Area* WindowPlacement::nearest(const QList<Area>& all, const QRect& frame)
{
    const Area* best = nullptr;
    double bestDistance = 0;
    for (const Area& a : all) {
        const QPointF to = nearestInside(frame.topLeft(), QSizeF(frame.size()), {QRectF(a.rect)});
        const double d = std::hypot(to.x() - frame.left(), to.y() - frame.top());
        // The earlier area wins a tie.
        if (!best || d < bestDistance) {
            best = &a;
            bestDistance = d;
        }
    }
    return best;
}

QRect WindowPlacement::usableArea() const { return areaOf(screen_ ? screen_.data() : window_.screen()); }

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
    if (least_) {
        const QSize least = least_->boundedTo(room);
        if (window_.minimumSize() != least)
            window_.setMinimumSize(least);
    }
    // The window's scroll area holds all its content: it may take the room less the margins.
    QLayout* layout = window_.layout();
    if (!layout)
        return;
    bool capped = false;
    for (RoomScrollArea* area : window_.findChildren<RoomScrollArea*>())
        if (area->window() == &window_) // not one of a window of its own it holds (the editor's text panel)
            capped = area->setCap(room.shrunkBy(layout->contentsMargins())) || capped;
    if (capped)
        layout->activate();
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &window_) {
        switch (event->type()) {
        case QEvent::Show:
            if (!event->spontaneous())
                shown();
            break;
        case QEvent::ScreenChangeInternal:
            qtMoved_ = true;
            [[fallthrough]];
        case QEvent::Resize:
            // Sized by its own code before it maps (a question measures itself as it shows): the size it wants.
            if (event->type() == QEvent::Resize && unframed_ && !fitting_
                && !(window_.windowHandle() && window_.windowHandle()->isExposed()))
                unframed_ = window_.size();
            [[fallthrough]];
        case QEvent::Move:
        case QEvent::WindowStateChange:
            // Without a server to read (the offscreen platform), only its showing and its own asks fit it.
            if (window_.isVisible() && onX11())
                schedule();
            break;
        default:
            break;
        }
    } else if (watched == window_.windowHandle() && event->type() == QEvent::Expose && window_.windowHandle()->isExposed()
               && onX11()) {
        // Framed: the frame the window manager put round it is known now.
        schedule();
    }
    return false;
}

void WindowPlacement::shown()
{
    if (QWindow* handle = window_.windowHandle()) {
        handle->removeEventFilter(this);
        handle->installEventFilter(this);
    }
    if (!opened_) {
        opened_ = true;
        if (onX11() && framed(window_) && !frameExtents(std::uint32_t(window_.internalWinId())))
            requestFrameExtents(std::uint32_t(window_.internalWinId()));
        openUnmapped();
    }
    schedule();
}

void WindowPlacement::schedule()
{
    if (pending_)
        return;
    pending_ = true;
    // Once Qt has finished with the change at hand: a new screen comes with its resize.
    QMetaObject::invokeMethod(this, [this] {
        pending_ = false;
        refit();
    }, Qt::QueuedConnection);
}

WindowPlacement::Place WindowPlacement::opening() const
{
    // Put somewhere by its own code before it showed: it opens there.
    if (place_.opening == Opening::centred && !place_.screen && window_.testAttribute(Qt::WA_Moved))
        return Place::at(window_.pos());
    return place_;
}

WindowPlacement::Area WindowPlacement::openingArea() const
{
    const Place place = opening();
    const QWidget* parent = window_.parentWidget() ? window_.parentWidget()->window() : nullptr;
    const QList<Area> all = areas();
    const QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen();
    switch (place.opening) {
    case Opening::overParent:
    case Opening::besideParent:
        if (parent && parent->screen())
            screen = parent->screen();
        break;
    case Opening::corner:
        if (!all.isEmpty())
            return all.first();
        break;
    case Opening::at:
        if (const Area* a = nearest(all, QRect(place.point, window_.frameGeometry().size())))
            return *a;
        break;
    case Opening::centred:
        if (place.screen)
            screen = place.screen;
        break;
    }
    return {areaOf(screen), screen};
}

QRect WindowPlacement::openingFrame(const QRect& area, QSize outer) const
{
    const Place place = opening();
    const QWidget* parent = window_.parentWidget() ? window_.parentWidget()->window() : nullptr;
    switch (place.opening) {
    case Opening::overParent:
        if (parent && parent->isVisible())
            return centredIn(parent->frameGeometry(), outer);
        break;
    case Opening::besideParent:
        if (parent && parent->isVisible())
            return insideTopRight(parent->frameGeometry(), outer, place.point);
        break;
    case Opening::corner:
        return inBottomRight(area, outer, place.point.x());
    case Opening::at:
        return QRect(place.point, outer);
    case Opening::centred:
        break;
    }
    return centredIn(area, outer);
}

void WindowPlacement::openUnmapped()
{
    const auto [area, screen] = openingArea();
    if (screen && window_.screen() != screen)
        window_.setScreen(const_cast<QScreen*>(screen));
    const QMargins frame = guessedFrame(screen);
    const QSize room = area.size().shrunkBy(frame);
    const QSize wanted = wish_.value_or(window_.size());
    // Without a server to read (tests on the offscreen platform) the window keeps its size.
    QSize size = wanted;
    if (onX11()) {
        applyRoom(room);
        size = fittedSize(wanted, window_.minimumSize(), room).boundedTo(window_.maximumSize());
    }
    QRect outer = movedInside(openingFrame(area, size.grownBy(frame)), area);
    if (const std::optional<QRect> clear = clearOfCapture(outer, area, screen))
        outer = *clear;
    fitting_ = true;
    window_.setGeometry(QRect(outer.topLeft() + QPoint(frame.left(), frame.top()), size));
    fitting_ = false;
    // The frame is a guess until the window manager has framed the window: what it took is given back then.
    unframed_ = points_ = wanted;
    asking_ = false;
    placed_ = size;
    screen_ = screen;
}

void WindowPlacement::open()
{
    if (!window_.isVisible()) {
        opened_ = false;
        return;
    }
    opened_ = true;
    openUnmapped();
}

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
    const QRect& client = server.client;
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
    if (moveResizeWindow(id, target)) {
        asked_ = Asked{pixels, size};
        return;
    }
    window_.setGeometry(QRect(outer.topLeft() + QPoint(frame.left(), frame.top()), size));
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
    forEachPlacement([&](WindowPlacement& p) {
        if (rootPixels && p.window_.isVisible() && p.keptClear_)
            p.schedule();
        else if (!rootPixels && p.heldBack_)
            p.present(p.activateWhenShown_);
    });
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
