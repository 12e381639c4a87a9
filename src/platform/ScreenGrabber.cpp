#include "platform/ScreenGrabber.h"

#include "platform/NullScreenGrabber.h"
#include "platform/X11ScreenGrabber.h"

namespace tarnwick::platform {

bool isWaylandSession()
{
    return qgetenv("XDG_SESSION_TYPE") == "wayland";
}

std::unique_ptr<ScreenGrabber> makeScreenGrabber(const QString& display, GrabTransport transport)
{
    const QByteArray choice = qgetenv("TARNWICK_SCREEN_GRABBER");
    if (choice == "null" || (choice.isEmpty() && isWaylandSession()))
        return std::make_unique<NullScreenGrabber>();
    if (choice == "getimage")
        transport = GrabTransport::PlainGetImage;
    return std::make_unique<X11ScreenGrabber>(display, transport);
}

} // namespace tarnwick::platform
