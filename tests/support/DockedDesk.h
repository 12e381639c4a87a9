#pragma once

#include "support/X11Client.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tarnwick::test {

// "x,y w×h", for failure messages.
inline std::string text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3×%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

// Programs a test runs beside itself (a window manager, a taskbar), ended with the test.
class DeskPrograms {
public:
    DeskPrograms() = default;
    DeskPrograms(const DeskPrograms&) = delete;
    DeskPrograms& operator=(const DeskPrograms&) = delete;
    ~DeskPrograms()
    {
        for (auto& program : programs_) {
            program->kill();
            program->waitForFinished(5000);
        }
    }
    QProcess& add() { return *programs_.emplace_back(std::make_unique<QProcess>()); }

private:
    std::vector<std::unique_ptr<QProcess>> programs_;
};

// Splits the test's 3840×1080 screen into monitors A (left, primary) and B (right), as a user
// splits a wide output, a docking station does, or a remote desktop's virtual monitors; succeeds
// once Qt sees both.
inline testing::AssertionResult splitIntoMonitors()
{
    for (const char* monitor : {"A 1920/508x1080/286+0+0 screen", "B 1920/508x1080/286+1920+0 none"}) {
        if (runProcess("xrandr", QStringList{"--setmonitor"} + QString::fromLatin1(monitor).split(u' ')) != 0)
            return testing::AssertionFailure() << "xrandr --setmonitor " << monitor << " failed";
    }
    if (!waitUntil([] { return QGuiApplication::screens().size() == 2; }, std::chrono::seconds(10)))
        return testing::AssertionFailure() << "Qt sees " << QGuiApplication::screens().size() << " screens";
    return testing::AssertionSuccess();
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
// moving it. An empty place never counts as put. `what` names the window when it never settles,
// with the last places it was seen at.
inline QRect settledPlace(const std::function<QRect()>& where, const std::string& what = "the window")
{
    QRect before;
    std::vector<QRect> seen;
    QElapsedTimer since;
    since.start();
    const bool settled = waitUntil([&] {
        const QRect now = where();
        if (now.isEmpty() || now != before) {
            since.restart();
            if (seen.empty() || seen.back() != now)
                seen.push_back(now);
        }
        before = now;
        return since.elapsed() >= 300;
    }, std::chrono::seconds(30));
    if (!settled) {
        std::string places;
        for (auto it = seen.size() > 8 ? seen.end() - 8 : seen.begin(); it != seen.end(); ++it)
            places += (it->isEmpty() ? std::string("nowhere") : text(*it)) + "; ";
        ADD_FAILURE() << what << " never stayed put; " << seen.size() << " places, the last: " << places;
    }
    return before;
}

} // namespace tarnwick::test
