#pragma once

#include "panels/PermissionSetupModel.h"
#include "platform/X11Connection.h"

#include <QString>

namespace tarnwick {

// Asks the X server whether it allows what each permission stands for
// (platform/Capabilities.h), on a connection of its own, and says in Russian
// what is missing and how to get it. GUI thread only.
class PermissionProbe {
public:
    // An empty `display` means $DISPLAY.
    explicit PermissionProbe(QString display = {});

    bool granted(SetupPermission permission);
    // A finished sentence for the user; it names the Wayland session or the
    // unreachable X server when that is the cause.
    QString explanation(SetupPermission permission);

private:
    platform::X11Connection connection_;
};

} // namespace tarnwick
