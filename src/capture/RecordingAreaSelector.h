#pragma once

#include "platform/X11Connection.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QRectF>
#include <QScreen>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace tarnwick::capture {
class SelectionOverlays;
}

namespace tarnwick::platform {
class ScreenGrabber;
}

namespace tarnwick::recording {

// A finished area selection: the screen dragged on and the rectangle in Qt's
// global coordinates (the space of QScreen::geometry(): device-independent
// pixels, origin at the top-left of the virtual desktop, y down), inside that
// screen and at least 16 × 16; `pixels` is the same area in root pixels, each
// edge on the device pixel the veil showed it at, as the picker takes it.
struct AreaSelection {
    QPointer<QScreen> screen;
    QRectF rect;
    QRect pixels = {};
};

// Lets the user drag out a rectangle on any screen over a frozen, dimmed
// picture of all screens: one borderless full-screen veil per screen, a
// prompt in the top-left corner, the band as an undimmed hole with a blue
// outline; Escape or a right click cancels. GUI thread.
//
// The completion runs at most once per select(), on the GUI thread, after every
// veil is gone from the screen (`panels()` is empty): a cancel at once, a selection
// once the area has been redrawn by the windows below it (at most a second later);
// nullopt means cancelled. Destroying the selector
// closes the veils and drops the completion uncalled. Make one per selection.
class RecordingAreaSelector : public QObject {
public:
    using Completion = std::function<void(std::optional<AreaSelection>)>;

    static const QString defaultPrompt; // "Выделите область для записи · Esc — отмена"
    static constexpr double minimumSide = 16;

    explicit RecordingAreaSelector(QObject* parent = nullptr);
    ~RecordingAreaSelector() override;

    // Freezes the screens, opens the veils and returns at once. Windows of
    // ours hidden just before may still be on the screen: then the picture is
    // taken, and the veils open, once they have gone and what lay below has
    // been redrawn (at most a second later). A second call replaces the veils
    // and drops the earlier completion uncalled.
    void select(const QString& prompt, Completion completion);

    // The open veils, in the order of QGuiApplication::screens(); empty when idle.
    std::vector<QWidget*> panels() const;

    static constexpr int settleLimitMs = 1000;
    static constexpr int slowRedrawMs = 250;

private:
    // Our own windows hidden but still shown: the root pixels each covered and its picture.
    struct Leaving {
        QPointer<QWidget> widget;
        std::uint32_t window;
        QRect area;
        QImage shown, lastSeen;
    };
    // Runs `then` once the windows in leaving_ are off the screen and what lay below is redrawn.
    void waitForRedraw(std::function<void()> then);
    void settle();
    void settled();
    void freeze();
    void finish(std::optional<AreaSelection> result);

    std::unique_ptr<capture::SelectionOverlays> overlays_;
    Completion completion_;
    QString prompt_;
    platform::X11Connection connection_;
    std::unique_ptr<platform::ScreenGrabber> grabber_;
    std::vector<Leaving> leaving_;
    std::function<void()> settled_;
    QTimer settling_;
    QElapsedTimer waited_, gone_;
};

} // namespace tarnwick::recording
