#pragma once

#include "panels/PermissionSetupModel.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace tarnwick {

class PermissionSetupView;

// Owns the permission wizard window: builds it on the first presentation and
// keeps it (closing hides it), refreshes the model every second while it is
// open and whenever the application becomes active, and tells the shell after
// every refresh. GUI thread only; the shell keeps one for the whole run.
class PermissionSetupController : public QObject {
    Q_OBJECT
public:
    static constexpr int refreshIntervalMs = 1000;

    explicit PermissionSetupController(PermissionSetupModel& model, QObject* parent = nullptr);
    ~PermissionSetupController() override;

    // Shows the window (building it the first time) and starts the refresh
    // timer; with `activate` the window also takes the keyboard focus.
    void present(bool activate);
    // Presents (activating) with the card of `permission` highlighted and its state explained.
    void presentCard(SetupPermission permission);
    // At launch: presents (activating) unless the wizard was presented in this
    // run or all three permissions are granted. True when it presented.
    bool presentAtLaunch();

    // Set by the shell: called after every refresh the controller makes and when the window closes.
    std::function<void()> onPermissionsChanged;

    // Nothing before the first presentation.
    PermissionSetupView* window() const { return window_.get(); }
    bool refreshing() const { return timer_.isActive(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshHandler();
    void windowWillClose();
    void notify();

    PermissionSetupModel& model_;
    std::unique_ptr<PermissionSetupView> window_;
    QTimer timer_;
};

} // namespace tarnwick
