#include "recording/RecordingAreaSelector.h"

#include "capture/SelectionOverlays.h"
#include "platform/ScreenGrabber.h"
#include "platform/TarnwickError.h"

namespace tarnwick::recording {

const QString RecordingAreaSelector::defaultPrompt = QStringLiteral("Выделите область для записи · Esc — отмена");

RecordingAreaSelector::RecordingAreaSelector(QObject* parent) : QObject(parent) {}

RecordingAreaSelector::~RecordingAreaSelector() = default;

void RecordingAreaSelector::select(const QString& prompt, Completion completion)
{
    completion_ = std::move(completion);
    overlays_.reset();

    // The veil shows the screens as they were; without a picture (no X
    // server access) it is a plain dark veil, and the selection still works.
    QImage frozen;
    std::vector<platform::Monitor> monitors;
    try {
        auto grabber = platform::makeScreenGrabber();
        if (grabber->unavailableReason().isEmpty()) {
            frozen = grabber->grab(grabber->screenRect());
            monitors = grabber->monitors();
        }
    } catch (const TarnwickError&) {
        frozen = {};
    }

    capture::FrozenOverlay::Options options;
    options.prompt = prompt;
    options.minimumSize = QSizeF(minimumSide, minimumSide);
    overlays_ = std::make_unique<capture::SelectionOverlays>(frozen, monitors, options);
    connect(overlays_.get(), &capture::SelectionOverlays::areaSelected, this,
            [this](QScreen* screen, QRectF local, QRect) {
                finish(AreaSelection{screen, local.translated(screen->geometry().topLeft())});
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
    Completion completion = std::move(completion_);
    completion_ = nullptr;
    if (completion)
        completion(std::move(result));
}

} // namespace tarnwick::recording
