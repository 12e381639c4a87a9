#include "platform/WindowPlacementInternal.h"

#include "platform/FramingWatch.h"
#include "platform/PlacementRules.h"
#include "platform/UsableArea.h"
#include "platform/WindowFrame.h"
#include "platform/WorkAreaWatch.h"
#include "platform/X11Internal.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QEvent>
#include <QWindow>

namespace tarnwick::platform {

using namespace placement;

namespace {

// Tells a placement each time the server says its window was configured. A window the window
// manager places on Qt's request (one without a frame, moved by its own drag) is where Qt asked
// only once the window manager has got to it, and Qt, which expected it there, tells no move then.
class ConfigureWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit ConfigureWatch(QObject* parent) : QObject(parent) { qApp->installNativeEventFilter(this); }
    ~ConfigureWatch() override
    {
        // Goes with the application's children, once qApp is no more.
        if (qApp)
            qApp->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& kind, void* message, qintptr*) override
    {
        if (x11::eventType(kind, message) != XCB_CONFIGURE_NOTIFY)
            return false;
        const auto* e = static_cast<const xcb_configure_notify_event_t*>(message);
        for (const QPointer<WindowPlacement>& p : registry().placements)
            if (p && p->parent() && static_cast<QWidget*>(p->parent())->internalWinId() == WId(e->window))
                p->refitLater();
        return false;
    }
};

} // namespace

Registry& placement::registry()
{
    static Registry r;
    return r;
}

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
                for (const QPointer<WindowPlacement>& p : QList(registry().placements))
                    if (p)
                        p->schedule();
            });
            new ConfigureWatch(r.workArea);
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
            // Not so a size the server told: news of the window before its frame is placed may give
            // its pixels at the unplaced frame's corner, which Qt takes in that monitor's scale.
            if (event->type() == QEvent::Resize && !event->spontaneous() && unframed_ && !fitting_
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
    outer = clearOfPanels(outer, area, screen);
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










} // namespace tarnwick::platform
