#include "support/HeldWindowManager.h"

#include "support/X11Client.h"

#include <QCoreApplication>

namespace tarnwick::test {

bool HeldWindowManager::send(const QByteArray& commands, const QByteArray& answer, std::chrono::milliseconds timeout)
{
    const qsizetype from = said_.size();
    gdb_.write(commands);
    return spinUntil(std::function<bool()>([&] {
        said_ += gdb_.readAll();
        return said_.indexOf(answer, from) >= 0;
    }), timeout);
}

bool HeldWindowManager::attach(qint64 pid, std::uint32_t root, std::chrono::milliseconds timeout)
{
    gdb_.setProcessChannelMode(QProcess::MergedChannels);
    gdb_.start(QStringLiteral("gdb"), {QStringLiteral("-q"), QStringLiteral("-nx"), QStringLiteral("-p"), QString::number(pid)});
    if (!gdb_.waitForStarted(int(timeout.count())))
        return false;
    // Framing a window, openbox reparents it into a new frame (XReparentWindow: display, window,
    // frame) while it holds the server, moves it inside, lets the server go, and only then moves
    // the frame to its place (x ≠ 0). Held only there: a client asking the server anything while
    // openbox holds it would wait as long as openbox does. A window it lets go goes to the root.
    return send("set pagination off\nset confirm off\n"
                "break XReparentWindow if $rdx != " + QByteArray::number(root) + "\n"
                "commands\nsilent\nset $display = $rdi\nset $frame = $rdx\ndisable 1\n"
                "break XMoveResizeWindow if $rsi == $frame && (int)$edx != 0\n"
                "break XMoveWindow if $rsi == $frame && (int)$edx != 0\ncontinue\nend\n"
                "echo attached\\n\ncontinue\n",
                "attached", timeout);
}

bool HeldWindowManager::waitUntilHeld(std::chrono::milliseconds timeout)
{
    // What openbox has asked so far reaches the server, the window's news with it.
    return send("", " in XMove", timeout) && send("call (int)XSync($display, 0)\necho flushed\\n\n", "flushed", timeout);
}

bool HeldWindowManager::releaseOnceHeard(std::chrono::milliseconds timeout, const std::function<void()>& syncWithServer)
{
    if (!waitUntilHeld(timeout))
        return false;
    for (int turn = 0; turn < 2; ++turn) {
        syncWithServer();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
    release();
    return true;
}

void HeldWindowManager::release()
{
    if (gdb_.state() == QProcess::NotRunning)
        return;
    gdb_.write("delete\ndetach\nquit\n");
    if (!gdb_.waitForFinished(30000))
        gdb_.kill();
}

HeldWindowManager::~HeldWindowManager()
{
    release();
    gdb_.waitForFinished(5000);
}

} // namespace tarnwick::test
