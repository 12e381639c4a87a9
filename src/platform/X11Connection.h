#pragma once

#include <QString>
#include <memory>

namespace tarnwick::platform {

namespace x11 {
struct Access;
}

// One connection to an X server, opened on first use and opened again after it
// broke (the server restarted, the socket closed). Used from one thread only.
class X11Connection {
public:
    // An empty name means $DISPLAY.
    explicit X11Connection(QString display = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    const QString& displayName() const;
    // True when the server answers; reconnects when the previous connection broke.
    bool connect();
    // Why the last connect() failed, as a sentence for the user; empty after success.
    const QString& errorText() const;

private:
    friend struct x11::Access;
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace tarnwick::platform
