#pragma once

#include "platform/Capabilities.h"
#include "series/Enumerations.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <set>

namespace tarnwick {

// The three things Tarnwick needs the X server to allow, in the order the
// wizard asks for them.
using SetupPermission = platform::Capability;
template <> struct EnumInfo<SetupPermission> {
    static constexpr std::array<std::string_view, 3> names{"screen", "pasteWatch", "autoPaste"};
};

QString title(SetupPermission permission);
// Key glyphs already turned into the names the user presses.
QString description(SetupPermission permission);
QString symbol(SetupPermission permission);

using PermissionSet = std::set<SetupPermission>;

// The wizard's state machine: what is granted, what was asked for, and where a
// guided run (every missing permission, one after another) stands.
// GUI thread only; `changed` follows every change of a published field.
class PermissionSetupModel : public QObject {
    Q_OBJECT
public:
    using Check = std::function<bool(SetupPermission)>;
    using Action = std::function<void(SetupPermission)>;
    using Explain = std::function<QString(SetupPermission)>;

    // An empty `check` or `explain` asks the X server of $DISPLAY. The X server
    // cannot be asked for a capability, so after a request that left the
    // permission missing, and when its card's button is pressed again («Как
    // включить»), the wizard shows the `explain` sentence; `retry` runs first then.
    explicit PermissionSetupModel(Check check = {}, Action request = {}, Action retry = {},
                                  Explain explain = {}, QObject* parent = nullptr);

    // Published state.
    const PermissionSet& granted() const { return granted_; }
    const PermissionSet& requested() const { return requested_; }
    std::optional<SetupPermission> current() const { return current_; }
    bool guided() const { return guided_; }
    bool requesting() const { return requesting_; }
    // What is missing for `permission` and how to get it; empty when nothing was asked.
    QString notice(SetupPermission permission) const;
    bool allGranted() const { return granted_.size() == 3; }

    void setGuided(bool guided);
    void setCurrent(std::optional<SetupPermission> permission);

    // Set by each presentation of the window, never reset.
    bool presentedThisLaunch = false;

    // Re-reads all three permissions.
    void refresh();
    bool hasUnrequested() const;
    QString primaryTitle() const;
    // Moves a guided run on once the permission it waits for is granted.
    void continueIfGranted();
    // Highlights the card of `permission` and, when it is missing, says why.
    void showCard(SetupPermission permission);
    // A card's own button.
    void requestIndividually(SetupPermission permission);
    // The next permission of a guided run; the main button's step.
    void requestNext();

signals:
    void changed();

private:
    void performRequest(SetupPermission permission);
    void explain(SetupPermission permission);
    template <typename T>
    void assign(T& field, const T& value);

    Check check_;
    Action request_;
    Action retry_;
    Explain explain_;

    PermissionSet granted_;
    PermissionSet requested_;
    std::optional<SetupPermission> current_;
    bool guided_ = false;
    bool requesting_ = false;
    std::array<QString, 3> notices_;
};

} // namespace tarnwick
