#include "platform/ActiveWindowWatch.h"

#include "platform/X11Internal.h"

#include <QGuiApplication>
#include <QTimer>

namespace tarnwick::platform {

ActiveWindowWatch::ActiveWindowWatch(QObject* parent) : QObject(parent)
{
    xcb_connection_t* qtConnection = x11::qtConnection();
    if (!qtConnection)
        return;
    activeAtom_ = x11::atom(qtConnection, "_NET_ACTIVE_WINDOW");
    // Qt's connection may not listen to the root's properties.
    x11::listenToRootProperties(qtConnection);
    qApp->installNativeEventFilter(this);
    update();
}

ActiveWindowWatch::~ActiveWindowWatch()
{
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

void ActiveWindowWatch::update()
{
    updatePending_ = false;
    const std::optional<ActiveWindow> active = ActiveWindow::query(connection_);
    if (!active || active->belongsToThisProcess())
        return;
    if (lastExternal_ && lastExternal_->window == active->window)
        return;
    lastExternal_ = active;
    emit externalChanged();
}

bool ActiveWindowWatch::activateLast()
{
    return lastExternal_ && activateWindow(connection_, lastExternal_->window);
}

bool ActiveWindowWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (activeAtom_ == 0 || x11::eventType(eventType, message) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
    // Read after this event is handled: no round trips inside Qt's event dispatch.
    if (property->atom == activeAtom_ && !updatePending_) {
        updatePending_ = true;
        QTimer::singleShot(0, this, &ActiveWindowWatch::update);
    }
    return false;
}

} // namespace tarnwick::platform
