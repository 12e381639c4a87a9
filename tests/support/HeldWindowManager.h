#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>

namespace tarnwick::test {

// Holds a running openbox, through gdb, at the moment a busy machine may hold it: it has put the
// next window it frames into the frame, still unplaced at the desk's top left corner, and told
// the window so; the frame's move to its place waits until release(). Deterministic: what a
// loaded machine does now and then happens every time.
class HeldWindowManager {
public:
    // Attaches to openbox `pid` managing the screen of `root`; false when gdb could not.
    bool attach(qint64 pid, std::uint32_t root, std::chrono::milliseconds timeout);
    // Waits until openbox, framing the next window, is about to place the frame; the window has
    // been reparented and moved inside the frame by then, and the server has been told.
    bool waitUntilHeld(std::chrono::milliseconds timeout);
    // Lets openbox go on and detaches.
    void release();
    // Waits until held, lets Qt handle all the server told it while the frame waits unplaced
    // (`syncWithServer` brings Qt's connection up to date), then releases.
    bool releaseOnceHeard(std::chrono::milliseconds timeout, const std::function<void()>& syncWithServer);
    ~HeldWindowManager();

    const QByteArray& log() const { return said_; }

private:
    bool send(const QByteArray& commands, const QByteArray& answer, std::chrono::milliseconds timeout);

    QProcess gdb_;
    QByteArray said_;
};

} // namespace tarnwick::test
