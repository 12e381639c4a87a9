#pragma once

#include "platform/ScreenGrabber.h"

#include <memory>

namespace tarnwick::platform {

// Grabs the root window over an X connection of its own: MIT-SHM into one
// reused shared segment when the server accepts it (it does not across
// machines or IPC namespaces), a plain GetImage otherwise. Thread rules as
// ScreenGrabber's.
class X11ScreenGrabber : public ScreenGrabber {
public:
    // An empty display means $DISPLAY. Connects on first use.
    explicit X11ScreenGrabber(QString display = {}, GrabTransport transport = GrabTransport::Automatic);
    ~X11ScreenGrabber() override;

    QString unavailableReason() const override;
    QRect screenRect() override;
    std::vector<Monitor> monitors() override;
    QImage grab(const QRect& rect) override;
    bool usedSharedMemory() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace tarnwick::platform
