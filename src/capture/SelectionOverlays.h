#pragma once

#include "capture/FrozenOverlay.h"
#include "platform/ScreenGrabber.h"
#include "platform/TopLevelWindows.h"

#include <QImage>
#include <QObject>
#include <QScreen>
#include <memory>
#include <optional>
#include <vector>



namespace tarnwick::capture {

// The veils over every screen for one selection on a frozen picture: one
// FrozenOverlay per QScreen, shown together, keyboard grabbed for Escape.
// Either a rubber band on one screen or, given windows, the window under the
// pointer. Reports once: the first report closes every veil first. GUI
// thread; destroying it closes the veils without a report.
class SelectionOverlays : public QObject {
    Q_OBJECT
public:
    // `frozenRoot` is the whole root window (device pixels); null for plain veils.
    // `monitors` place each QScreen in it (see screenPixels).
    SelectionOverlays(QImage frozenRoot, const std::vector<platform::Monitor>& monitors,
                      FrozenOverlay::Options options, QObject* parent = nullptr);
    ~SelectionOverlays() override;

    // Window mode: a click picks the topmost of `windows` (bottom to top)
    // under the pointer, its frame or, with `withoutShadow`, its frame less
    // a client-drawn shadow. Once the windows are known, Space switches
    // between window mode and the rubber band, either way round.
    void pickWindows(std::vector<platform::TopLevelWindow> windows, bool withoutShadow);

    void show();
    void close();
    std::vector<QWidget*> panels() const;

signals:
    // A band on `screen`: `local` in the screen's own coordinates
    // (device-independent pixels), `pixels` the same area in the frozen root image.
    void areaSelected(QScreen* screen, QRectF local, QRect pixels);
    // A window's area in root pixels, clipped to the root; `scale` is that of the screen under the click.
    void windowSelected(QRect pixels, double scale);
    void cancelled();

private:
    FrozenOverlay* makeOverlay(QScreen* screen, QRect pixels);
    QRect pickedArea(QPoint root) const;
    void highlightAt(QPoint root);
    void switchMode();
    template <typename Fn>
    void finish(Fn&& report);

    QImage frozen_;
    FrozenOverlay::Options options_;
    std::vector<std::unique_ptr<FrozenOverlay>> overlays_;
    std::vector<platform::TopLevelWindow> windows_;
    bool withoutShadow_ = false;
    bool windowsKnown_ = false;
};

// Where `screen` lies in root pixels: its RandR monitor by output name, else
// its geometry with the size scaled by its device pixel ratio.
QRect screenPixels(QScreen* screen, const std::vector<platform::Monitor>& monitors);

// The screen the user works on, where windows open: the one showing the
// centre of `pixels` (root pixels, e.g. a capture's area) when given, else
// the one under the pointer, else the primary one. GUI thread.
QScreen* workingScreen(std::optional<QRect> pixels = std::nullopt);

} // namespace tarnwick::capture
