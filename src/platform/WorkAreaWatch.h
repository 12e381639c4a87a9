#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

namespace tarnwick::platform {

// Tells when the window manager's work area changes (_NET_WORKAREA on the root): a dock came,
// went or changed the room it keeps. Heard through Qt's own xcb connection, once per change
// however many property events it takes. Off X11 it never tells. GUI thread.
class WorkAreaWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit WorkAreaWatch(QObject* parent = nullptr);
    ~WorkAreaWatch() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void changed();

private:
    std::uint32_t workAreaAtom_ = 0;
    bool pending_ = false;
};

} // namespace tarnwick::platform
