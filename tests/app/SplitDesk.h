#pragma once

#include "ShellFixture.h"
#include "support/DockedDesk.h"

#include <QGuiApplication>
#include <QScreen>

namespace tarnwick::test {

// One 3840×1080 screen split into monitors A and B, as a user splits a wide
// output, a docking station does, or a remote desktop's virtual monitors.
class SplitDesk : public ShellTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(splitIntoMonitors());
        b = QGuiApplication::screens().constLast();
        ASSERT_EQ(b->name(), QStringLiteral("B"));
    }
    bool onB(const QWidget* w) { return w && b->geometry().contains(w->frameGeometry().center()); }

    QScreen* b = nullptr;
};

} // namespace tarnwick::test
