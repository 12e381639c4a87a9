#include "capture/RecordingAreaSelector.h"

#include "capture/SelectionOverlays.h"
#include "platform/ScreenGrabber.h"
#include "platform/TarnwickError.h"
#include "platform/WindowFrame.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace tarnwick::recording {

const QString RecordingAreaSelector::defaultPrompt = QStringLiteral("Выделите область для записи · Esc — отмена");

RecordingAreaSelector::RecordingAreaSelector(QObject* parent) : QObject(parent)
{
    settling_.setInterval(15);
    connect(&settling_, &QTimer::timeout, this, &RecordingAreaSelector::settle);
}

RecordingAreaSelector::~RecordingAreaSelector() = default;

void RecordingAreaSelector::select(const QString& prompt, Completion completion)
{
    completion_ = std::move(completion);
    prompt_ = prompt;
    overlays_.reset();
    settling_.stop();
    leaving_.clear();
    try {
        grabber_ = platform::makeScreenGrabber();
        if (!grabber_->unavailableReason().isEmpty())
            grabber_.reset();
    } catch (const TarnwickError&) {
        grabber_.reset();
    }
    // A window the caller has just hidden stays on the screen until the server and the window
    // manager have taken it down (Qt still counts it exposed till it hears so), and what lay
    // below shows again only once its owner has redrawn it.
    if (grabber_ && QGuiApplication::platformName() == u"xcb") {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            const auto id = static_cast<std::uint32_t>(widget->internalWinId());
            if (!id || widget->isVisible())
                continue;
            const std::optional<QRect> covered = platform::coveredArea(connection_, id);
            const bool exposed = widget->windowHandle() && widget->windowHandle()->isExposed();
            if (!covered && !exposed)
                continue;
            const double ratio = widget->devicePixelRatioF();
            const QRect frame = widget->frameGeometry();
            const QRect area = covered ? *covered : QRect(frame.topLeft() * ratio, frame.size() * ratio);
            try {
                leaving_.push_back({widget, id, area, grabber_->grab(area), {}});
            } catch (const TarnwickError&) {
            }
        }
    }
    waitForRedraw([this] { freeze(); });
}

void RecordingAreaSelector::waitForRedraw(std::function<void()> then)
{
    settled_ = std::move(then);
    if (leaving_.empty())
        return settled();
    waited_.start();
    gone_.invalidate();
    settling_.start();
}

void RecordingAreaSelector::settled()
{
    settling_.stop();
    leaving_.clear();
    if (auto then = std::exchange(settled_, nullptr))
        then();
}

void RecordingAreaSelector::settle()
{
    if (waited_.elapsed() >= settleLimitMs)
        return settled();
    for (const Leaving& w : leaving_) {
        const bool exposed = w.widget && w.widget->windowHandle() && w.widget->windowHandle()->isExposed();
        if (exposed || (w.window && platform::coveredArea(connection_, w.window)))
            return;
    }
    if (!gone_.isValid())
        gone_.start();
    // Redrawn: the same at two looks in a row, and no longer the window's picture (a slow
    // owner of what lay below gets a moment more).
    bool redrawn = true;
    for (Leaving& w : leaving_) {
        QImage now;
        try {
            now = grabber_->grab(w.area);
        } catch (const TarnwickError&) {
            return settled();
        }
        redrawn = redrawn && now == w.lastSeen && (now != w.shown || gone_.elapsed() >= slowRedrawMs);
        w.lastSeen = std::move(now);
    }
    if (redrawn)
        settled();
}

void RecordingAreaSelector::freeze()
{
    // The veil shows the screens as they were; without a picture (no X
    // server access) it is a plain dark veil, and the selection still works.
    QImage frozen;
    std::vector<platform::Monitor> monitors;
    try {
        if (grabber_) {
            frozen = grabber_->grab(grabber_->screenRect());
            monitors = grabber_->monitors();
        }
    } catch (const TarnwickError&) {
        frozen = {};
    }

    capture::FrozenOverlay::Options options;
    options.prompt = prompt_;
    options.minimumSize = QSizeF(minimumSide, minimumSide);
    // Escape never comes while another program keeps the keyboard.
    options.rightClickCancels = true;
    overlays_ = std::make_unique<capture::SelectionOverlays>(frozen, monitors, options);
    connect(overlays_.get(), &capture::SelectionOverlays::areaSelected, this,
            [this](QScreen* screen, QRectF local, QRect pixels) {
                finish(AreaSelection{screen, local.translated(screen->geometry().topLeft()), pixels});
            });
    connect(overlays_.get(), &capture::SelectionOverlays::cancelled, this, [this] { finish(std::nullopt); });
    overlays_->show();
}

std::vector<QWidget*> RecordingAreaSelector::panels() const
{
    return overlays_ ? overlays_->panels() : std::vector<QWidget*>{};
}

void RecordingAreaSelector::finish(std::optional<AreaSelection> result)
{
    // The overlays have closed their veils already; they go once this handler returns.
    overlays_.release()->deleteLater();
    const auto complete = [this, result] {
        grabber_.reset();
        if (Completion completion = std::exchange(completion_, nullptr))
            completion(result);
    };
    // Off the server, a veil still shows where the window below has not yet repainted (a busy
    // owner, or this very thread): a grab that follows at once would take the veil's picture.
    if (result && grabber_ && !result->pixels.isEmpty()) {
        try {
            leaving_.push_back({nullptr, 0, result->pixels, grabber_->grab(result->pixels), {}});
        } catch (const TarnwickError&) {
        }
    }
    waitForRedraw(complete);
}

} // namespace tarnwick::recording
