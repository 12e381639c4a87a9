#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarnwick::platform {

// One monitor of the X screen as RandR reports it.
struct Monitor {
    // The RandR monitor's name atom: unique among the monitors and the same
    // for as long as the server runs (a CRTC id before RandR 1.5; 0 without RandR).
    std::uint32_t id = 0;
    QRect geometry; // in root-window pixels
    QString name;   // the monitor's name, e.g. "HDMI-1" (Qt's screen name); empty without RandR
};

// Copies pixels of the X root window (every monitor) into images.
//
// Thread: an instance owns its own X connection and may be used from any one
// thread at a time (make it on the GUI thread, use it on a worker); never from
// two threads at once. Every call returns or throws promptly: a broken
// connection is a TarnwickError, the next call connects again.
class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;

    // Empty when this backend can grab; otherwise why it cannot, in Russian.
    virtual QString unavailableReason() const = 0;

    // The whole screen (the root window) in device pixels, origin 0,0. Throws TarnwickError.
    virtual QRect screenRect() = 0;

    // The active monitors, left to right then top to bottom: RandR 1.5
    // monitors (a split output gives several), the lit CRTCs on an older
    // RandR, one monitor covering the screen without RandR. Throws TarnwickError.
    virtual std::vector<Monitor> monitors() = 0;

    // The pixels of `rect` (root pixels) clipped to the screen, as an opaque
    // QImage::Format_RGB32 (bytes B, G, R, 0xFF). Throws TarnwickError when the
    // rectangle misses the screen, the server refuses or the connection broke.
    virtual QImage grab(const QRect& rect) = 0;

    // Whether the last grab went through MIT-SHM rather than a plain GetImage.
    virtual bool usedSharedMemory() const = 0;
};

enum class GrabTransport {
    Automatic,    // MIT-SHM when the server offers and accepts it, GetImage otherwise
    PlainGetImage // never MIT-SHM
};

// The backend for this session: X11 on $DISPLAY (or `display`), the null one
// under Wayland. $TARNWICK_SCREEN_GRABBER overrides the choice: "x11", "getimage"
// (X11 without MIT-SHM) or "null".
std::unique_ptr<ScreenGrabber> makeScreenGrabber(const QString& display = {},
                                                 GrabTransport transport = GrabTransport::Automatic);

// True in a Wayland session, where X11 grabs do not see other programs' windows.
bool isWaylandSession();

} // namespace tarnwick::platform
