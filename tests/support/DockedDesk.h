#pragma once

#include "support/X11Client.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tarnwick::test {

// "x,y w×h", for failure messages.
inline std::string text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3×%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

// Starts trayer in `trayer` as a taskbar along the bottom of the 3840×1080 desk that keeps 32 px
// for itself through its strut (`placement`: its trayer options for where along the edge it
// sits), and waits until the window manager's work area leaves that room out: 0,0 3840×1048.
inline testing::AssertionResult startBottomDock(X11Client& x, QProcess& trayer, const QStringList& placement = {})
{
    trayer.start(QStringLiteral("trayer"), QStringList{"--edge", "bottom"} + placement +
                                               QStringList{"--height", "32", "--SetDockType", "true",
                                                           "--SetPartialStrut", "true"});
    std::vector<std::uint32_t> area;
    if (waitUntil([&] {
            area = x.cardinals(x.root(), "_NET_WORKAREA");
            area.resize(std::min<std::size_t>(area.size(), 4));
            return area == std::vector<std::uint32_t>{0, 0, 3840, 1048};
        }, std::chrono::seconds(30)))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the work area is " << testing::PrintToString(area);
}

// Where `where` says a window is, once it has stayed put for a while: a busy server may still be
// moving it. An empty place never counts as put.
inline QRect settledPlace(const std::function<QRect()>& where)
{
    QRect before;
    QElapsedTimer since;
    since.start();
    EXPECT_TRUE(waitUntil([&] {
        const QRect now = where();
        if (now.isEmpty() || now != before)
            since.restart();
        before = now;
        return since.elapsed() >= 300;
    }, std::chrono::seconds(30)));
    return before;
}

} // namespace tarnwick::test
