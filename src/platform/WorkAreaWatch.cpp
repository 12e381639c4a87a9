#include "platform/WorkAreaWatch.h"

#include "platform/X11Internal.h"

#include <QGuiApplication>
#include <QTimer>

namespace tarnwick::platform {

WorkAreaWatch::WorkAreaWatch(QObject* parent) : QObject(parent)
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c)
        return;
    workAreaAtom_ = x11::atom(c, "_NET_WORKAREA");
    x11::listenToRootProperties(c);
    qApp->installNativeEventFilter(this);
}

WorkAreaWatch::~WorkAreaWatch()
{
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

bool WorkAreaWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (workAreaAtom_ == 0 || x11::eventType(eventType, message) != XCB_PROPERTY_NOTIFY)
        return false;
    // Told after this event is handled: whoever listens reads the server, which is no work for
    // the middle of Qt's event dispatch.
    if (static_cast<const xcb_property_notify_event_t*>(message)->atom == workAreaAtom_ && !pending_) {
        pending_ = true;
        QTimer::singleShot(0, this, [this] {
            pending_ = false;
            emit changed();
        });
    }
    return false;
}

} // namespace tarnwick::platform
