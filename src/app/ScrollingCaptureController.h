#pragma once

#include "app/ScrollingCaptureEngine.h"
#include "app/ScrollingCaptureModel.h"
#include "platform/TarnwickError.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class QScreen;

namespace tarnwick {

namespace recording {
class RecordingAreaSelector;
}

class ScrollingCaptureControlView;
class ScrollingCaptureKeys;
class SelectionOutline;

// The tall image of a finished scrolling capture and its pixels per point.
struct ScrollingCaptureShot {
    QImage image;
    qreal scale = 1;
};

// One scrolling capture session: the control panel and outline around the
// selected area, the engine, the global Return and Escape, and one report at
// the end. GUI thread only; the shell drops it in onComplete.
class ScrollingCaptureController : public QObject {
public:
    // Cancelled (monostate), finished with a shot, or failed.
    using Outcome = std::variant<std::monostate, ScrollingCaptureShot, TarnwickError>;
    // Makes the frame grabber for a capture, on the GUI thread.
    using GrabFactory = std::function<ScrollingCaptureEngine::Grab()>;

    explicit ScrollingCaptureController(GrabFactory grabFactory = [] { return ScrollingCaptureEngine::screenGrab(); },
                                        QObject* parent = nullptr);
    ~ScrollingCaptureController() override;

    ScrollingCaptureModel& model() { return model_; }
    ScrollingCaptureControlView* control() const { return control_.get(); }
    SelectionOutline* outline() const { return outline_.get(); }

    // Called once when the session ends.
    std::function<void(const Outcome&)> onComplete;

    // Starts a session: the user selects the area (Escape cancels), then it
    // is captured as capture() does.
    void begin(const std::function<void()>& activateTarget = {});
    // Captures `pixels` (root pixels) of `screen`: panels up, `activateTarget`
    // called, frames flowing, keys held.
    void capture(QScreen* screen, const QRect& pixels, const std::function<void()>& activateTarget = {});
    // Brings the area selection or the control panel forward.
    void present();
    recording::RecordingAreaSelector* selector() const { return selector_.get(); }

    // Where the control panel goes, and the part of the selection that is grabbed.
    struct ControlPlacement {
        QPoint origin;
        QRect area;
    };
    // X11 grabs show our own windows, so the panel goes 12 points below the
    // selection, else above, right or left of it, as near as `visibleFrame`
    // allows; with no room on any side it goes to the frame's top or bottom
    // edge, whichever covers fewer rows, and those rows are left out of `area`.
    static ControlPlacement controlPlacement(const QRect& selection, const QRect& visibleFrame);

    // The part of `pixels` (root pixels of a screen of `scale` whose Qt and root origins are both
    // `origin`) that lies inside `logical` (Qt's global coordinates): whole device pixels only.
    static QRect pixelsInside(const QRect& pixels, const QRect& logical, double scale, QPoint origin);
    // The smallest rectangle in Qt's global coordinates that covers `pixels`.
    static QRect logicalCover(const QRect& pixels, double scale, QPoint origin);

private:
    void progress(const QUuid& session, int width, int height, ScrollAppendResult result);
    void failure(const QUuid& session, const TarnwickError& error);
    void stop(bool discard, std::optional<TarnwickError> failure);
    void complete(const Outcome& outcome);

    GrabFactory grabFactory_;
    ScrollingCaptureModel model_;
    std::unique_ptr<recording::RecordingAreaSelector> selector_;
    std::unique_ptr<ScrollingCaptureEngine> engine_;
    std::unique_ptr<ScrollingCaptureControlView> control_;
    std::unique_ptr<SelectionOutline> outline_;
    std::optional<QUuid> sessionId_;
    std::unique_ptr<ScrollingCaptureKeys> shortcuts_;
    qreal captureScale_ = 1;
};

} // namespace tarnwick
