#pragma once

#include "support/X11Client.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <functional>
#include <sys/syscall.h>

namespace tarnwick::test {

// Paints noise into `area` of `window` and returns what it painted.
inline QImage paint(X11Client& x, std::uint32_t window, QRect area, std::uint32_t seed, bool throughChildren = false)
{
    const auto pixels = x.paintNoise(window, area.x(), area.y(), area.width(), area.height(), seed, throughChildren);
    return QImage(reinterpret_cast<const uchar*>(pixels.data()), area.width(), area.height(), QImage::Format_RGB32)
        .copy();
}

// Whether process `pid` is blocked reading its standard input.
inline bool readsItsInput(qint64 pid)
{
    QFile call(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!call.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = call.readAll().split(' ');
    return fields.size() > 1 && fields[0].toLong() == SYS_read && fields[1] == "0x0";
}

// Runs the picker, waits until its veil holds the keyboard, plays `act` and
// returns the exit code. With `ahead`, the picker is started waiting first,
// `ahead` runs, and only then is it handed its command line.
inline int pick(X11Client& x, const QStringList& flags, const QString& file, const std::function<void()>& act,
                const std::function<void()>& ahead = {})
{
    QProcess picker;
    picker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList arguments = QStringList{"-i", "-x", "-t", "png"} + flags + QStringList{file};
    picker.start(QStringLiteral(TARNWICK_CAPTURE), ahead ? QStringList{"--standby"} : arguments);
    if (!picker.waitForStarted(30000))
        return -1;
    if (ahead) {
        // Loaded and connected, it waits for its command line: whatever it did ahead is done.
        if (!waitUntil([&] { return readsItsInput(picker.processId()); }, std::chrono::seconds(30)))
            return -1;
        ahead();
        picker.write(arguments.join(QChar(0)).toLocal8Bit() + QByteArray(2, '\0'));
    }
    if (!waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, std::chrono::seconds(30)))
        return -1;
    act();
    if (!picker.waitForFinished(30000))
        return -2;
    return picker.exitCode();
}

} // namespace tarnwick::test
