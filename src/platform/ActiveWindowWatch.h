#pragma once

#include "platform/ActiveWindow.h"
#include "platform/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <optional>

namespace tarnwick::platform {

// Follows the window manager's active window (_NET_ACTIVE_WINDOW) and keeps the
// last one that belongs to another process: the window a paste goes to and the
// one brought back before a capture. Property changes arrive through Qt's own
// xcb connection; the window is read on a connection of its own. Off X11 it
// knows nothing. GUI thread.
class ActiveWindowWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit ActiveWindowWatch(QObject* parent = nullptr);
    ~ActiveWindowWatch() override;

    // The last active window of another process, nothing before the first.
    const std::optional<ActiveWindow>& lastExternal() const { return lastExternal_; }
    // Reads the active window now; a window of this process leaves the last one in place.
    void update();
    // Asks the window manager to bring the last external window back; false without one.
    bool activateLast();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void externalChanged();

private:
    X11Connection connection_;
    std::optional<ActiveWindow> lastExternal_;
    std::uint32_t activeAtom_ = 0;
    bool updatePending_ = false;
};

} // namespace tarnwick::platform
