#include "capture/SelectionOverlays.h"

#include "platform/QtServerSync.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace tarnwick::capture {

QRect screenPixels(QScreen* screen, const std::vector<platform::Monitor>& monitors)
{
    for (const auto& m : monitors) {
        if (!m.name.isEmpty() && m.name == screen->name())
            return m.geometry;
    }
    // Qt keeps a screen's native origin as its logical origin and scales only the size.
    const QRect g = screen->geometry();
    return QRect(g.topLeft(), (QSizeF(g.size()) * screen->devicePixelRatio()).toSize());
}

QScreen* workingScreen(std::optional<QRect> pixels)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (pixels) {
        for (QScreen* screen : screens)
            if (screenPixels(screen, {}).contains(pixels->center()))
                return screen;
    }
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

SelectionOverlays::SelectionOverlays(QImage frozenRoot, const std::vector<platform::Monitor>& monitors,
                                     FrozenOverlay::Options options, QObject* parent)
    : QObject(parent), frozen_(std::move(frozenRoot)), options_(std::move(options))
{
    for (QScreen* screen : QGuiApplication::screens())
        overlays_.push_back(std::unique_ptr<FrozenOverlay>(makeOverlay(screen, screenPixels(screen, monitors))));
}

SelectionOverlays::~SelectionOverlays() = default;

FrozenOverlay* SelectionOverlays::makeOverlay(QScreen* screen, QRect pixels)
{
    FrozenOverlay::Handlers handlers;
    handlers.cancelled = [this] { finish([this] { emit cancelled(); }); };
    handlers.hovered = [this](QPoint root) { highlightAt(root); };
    handlers.switched = [this] { switchMode(); };
    // Every veil says it: the user may look at another screen than the one that asked.
    handlers.keyboardHeld = [this](bool held) {
        for (auto& o : overlays_)
            o->setNotice(held ? FrozenOverlay::keyboardHeldNotice : QString());
    };
    handlers.clicked = [this, screen](QPoint root) {
        const QRect area = pickedArea(root);
        if (!area.isEmpty())
            finish([this, area, scale = screen->devicePixelRatio()] { emit windowSelected(area, scale); });
    };
    handlers.selected = [this, screen, pixels](QRectF local) {
        const QRect px = bandPixels(local, screen->devicePixelRatio(), pixels.topLeft()) & pixels;
        finish([this, screen, local, px] { emit areaSelected(screen, local, px); });
    };
    // One screen covering the root shares the frozen picture rather than copying it.
    const QImage part = frozen_.isNull() || pixels == frozen_.rect() ? frozen_ : frozen_.copy(pixels);
    return new FrozenOverlay(screen, pixels, part, options_, std::move(handlers));
}

void SelectionOverlays::pickWindows(std::vector<platform::TopLevelWindow> windows, bool withoutShadow)
{
    windows_ = std::move(windows);
    withoutShadow_ = withoutShadow;
    windowsKnown_ = true;
}

void SelectionOverlays::switchMode()
{
    if (!windowsKnown_ || overlays_.empty())
        return;
    options_.picksWindows = !options_.picksWindows;
    for (auto& o : overlays_)
        o->setPicksWindows(options_.picksWindows);
    // The window under the pointer lights up at once, as when window mode starts.
    if (options_.picksWindows) {
        const QPoint pointer = QCursor::pos();
        for (auto& o : overlays_)
            if (o->geometry().contains(pointer))
                highlightAt(o->toRoot(o->mapFromGlobal(pointer)));
    }
}

QRect SelectionOverlays::pickedArea(QPoint root) const
{
    const platform::TopLevelWindow* w = platform::windowAt(windows_, root);
    if (!w)
        return {};
    const QRect area = withoutShadow_ ? w->withoutShadow : w->frame;
    return frozen_.isNull() ? area : area.intersected(frozen_.rect());
}

void SelectionOverlays::highlightAt(QPoint root)
{
    const QRect area = pickedArea(root);
    for (auto& o : overlays_)
        o->setHighlight(area);
}

void SelectionOverlays::show()
{
    const QPoint pointer = QCursor::pos();
    FrozenOverlay* keyed = nullptr;
    for (auto& o : overlays_) {
        o->show();
        if (!keyed || o->geometry().contains(pointer))
            keyed = o.get();
    }
    if (keyed) {
        keyed->raise();
        keyed->grabKeyboardSoon();
        if (options_.picksWindows)
            highlightAt(keyed->toRoot(keyed->mapFromGlobal(pointer)));
    }
}

void SelectionOverlays::close()
{
    for (auto& o : overlays_) {
        if (o->windowHandle())
            o->windowHandle()->setKeyboardGrabEnabled(false);
        o->close();
    }
    overlays_.clear();
}

std::vector<QWidget*> SelectionOverlays::panels() const
{
    std::vector<QWidget*> result;
    for (const auto& o : overlays_)
        result.push_back(o.get());
    return result;
}

template <typename Fn>
void SelectionOverlays::finish(Fn&& report)
{
    if (overlays_.empty())
        return;
    // The reporting widget is among those closed: delete it only after its handler returns.
    for (auto& o : overlays_) {
        if (o->windowHandle())
            o->windowHandle()->setKeyboardGrabEnabled(false);
        o->hide();
        o.release()->deleteLater();
    }
    overlays_.clear();
    // The caller may grab the screen at once: the veils must be gone from it by then.
    platform::syncQtWithServer();
    report();
}

} // namespace tarnwick::capture
