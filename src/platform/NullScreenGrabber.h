#pragma once

#include "platform/ScreenGrabber.h"

namespace tarnwick::platform {

// The grabber of a session whose screen we cannot read (Wayland): every call
// answers at once with the same Russian sentence.
class NullScreenGrabber : public ScreenGrabber {
public:
    QString unavailableReason() const override;
    QRect screenRect() override;
    std::vector<Monitor> monitors() override;
    QImage grab(const QRect& rect) override;
    bool usedSharedMemory() const override { return false; }
};

} // namespace tarnwick::platform
