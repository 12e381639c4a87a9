#include "platform/NullScreenGrabber.h"

#include "platform/TarnwickError.h"

namespace tarnwick::platform {

QString NullScreenGrabber::unavailableReason() const
{
    return QStringLiteral("В сеансе Wayland Tarnwick не видит экран: снимки и запись работают только в сеансе X11.");
}

QRect NullScreenGrabber::screenRect()
{
    throw TarnwickError(unavailableReason());
}

std::vector<Monitor> NullScreenGrabber::monitors()
{
    throw TarnwickError(unavailableReason());
}

QImage NullScreenGrabber::grab(const QRect&)
{
    throw TarnwickError(unavailableReason());
}

} // namespace tarnwick::platform
