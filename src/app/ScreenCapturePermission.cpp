#include "app/ScreenCapturePermission.h"

#include "platform/Capabilities.h"

namespace tarnwick {

ScreenCapturePermission::ScreenCapturePermission()
    : preflight([this] { return platform::hasScreenAccess(connection_); }), ask([] {})
{
}

bool ScreenCapturePermission::request()
{
    if (preflight())
        return true;
    if (requested)
        return false;
    requested = true;
    ask();
    return preflight();
}

} // namespace tarnwick
