#pragma once

#include "ShellFixture.h"

#include <QGuiApplication>
#include <QScreen>

namespace tarnwick::test {

// One 3840×1080 screen split into monitors A and B, as a user splits a wide
// output, a docking station does, or a remote desktop's virtual monitors.
class SplitDesk : public ShellTest {
protected:
    void SetUp() override
    {
        using namespace std::chrono_literals;
        for (const char* monitor : {"A 1920/508x1080/286+0+0 screen", "B 1920/508x1080/286+1920+0 none"})
            ASSERT_EQ(runProcess("xrandr", QStringList{"--setmonitor"} + QString::fromLatin1(monitor).split(u' ')), 0);
        ASSERT_TRUE(waitUntil([] { return QGuiApplication::screens().size() == 2; }, 5s));
        b = QGuiApplication::screens().constLast();
        ASSERT_EQ(b->name(), QStringLiteral("B"));
    }
    bool onB(const QWidget* w) { return w && b->geometry().contains(w->frameGeometry().center()); }

    QScreen* b = nullptr;
};

} // namespace tarnwick::test
