#include "panels/PermissionSetupController.h"

#include "panels/PermissionSetupView.h"
#include "platform/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>

namespace tarnwick {

PermissionSetupController::PermissionSetupController(PermissionSetupModel& model, QObject* parent)
    : QObject(parent), model_(model)
{
    timer_.setInterval(refreshIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PermissionSetupController::refreshHandler);
    // Coming back from wherever the user fixed the X server shows the new state at once.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                refreshHandler();
        });
}

PermissionSetupController::~PermissionSetupController()
{
    if (window_)
        window_->removeEventFilter(this);
}

void PermissionSetupController::notify()
{
    if (onPermissionsChanged)
        onPermissionsChanged();
}

void PermissionSetupController::refreshHandler()
{
    model_.refresh();
    notify();
    if (window_ && window_->isVisible())
        model_.continueIfGranted();
}

bool PermissionSetupController::presentAtLaunch()
{
    if (model_.presentedThisLaunch)
        return false;
    model_.refresh();
    if (model_.allGranted())
        return false;
    present(true);
    return true;
}

void PermissionSetupController::present(bool activate)
{
    model_.presentedThisLaunch = true;
    model_.refresh();
    notify();
    if (window_) {
        if (window_->isVisible())
            model_.continueIfGranted();
    } else {
        window_ = std::make_unique<PermissionSetupView>(
            model_, [this] { window_->close(); }, [this] { refreshHandler(); });
        window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
        window_->setWindowTitle(QStringLiteral("Tarnwick · Разрешения"));
        window_->installEventFilter(this);
    }
    window_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    platform::WindowPlacement::of(*window_).present(activate);
    timer_.start();
}

void PermissionSetupController::presentCard(SetupPermission permission)
{
    present(true);
    model_.showCard(permission);
}

bool PermissionSetupController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_.get() && event->type() == QEvent::Close)
        windowWillClose();
    return QObject::eventFilter(watched, event);
}

void PermissionSetupController::windowWillClose()
{
    model_.setGuided(false);
    model_.setCurrent(std::nullopt);
    timer_.stop();
    notify();
}

} // namespace tarnwick
