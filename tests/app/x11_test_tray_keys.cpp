#include "NoisePage.h"
#include "ShellFixture.h"

#include "app/QuitGuard.h"
#include "app/ScrollingCaptureController.h"
#include "app/ScrollingCaptureModel.h"
#include "capture/RecordingAreaSelector.h"
#include "panels/ShortcutGuideView.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <X11/keysym.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class TrayKeys : public ShellTest {
protected:
    void tap(std::uint32_t keysym) { x.chord({x.keycodeOf(keysym)}); }

    // Opens the tray's menu with the right button on its icon, as a user does.
    bool openTrayMenu()
    {
        // A menu closed a moment ago may still hold the pointer on the server, and the click would be its.
        if (!waitUntil([&] { return !x.keyboardGrabbedElsewhere(); }, 10s))
            return false;
        // Each time a few pixels aside, or Qt takes two quick clicks for a double click.
        const QRect icon = shell->tray()->geometry();
        const int step = (clicks++ % 3 - 1) * 7;
        x.click(icon.center().x() + step, icon.center().y(), 3);
        // Open once it holds the keyboard, as Qt's menus do.
        return waitUntil([&] { return shell->trayMenu()->isVisible() && x.keyboardGrabbedElsewhere(); }, 10s);
    }

    // Walks up the open menu with the arrow key until `title` is the entry under the keyboard.
    bool upTo(const QString& title)
    {
        QMenu& menu = *shell->trayMenu();
        for (int step = 0; step < menu.actions().size(); ++step) {
            if (menu.activeAction() && menu.activeAction()->text() == title)
                return true;
            const QAction* before = menu.activeAction();
            tap(XK_Up);
            if (!waitUntil([&] { return menu.activeAction() != before; }, 10s))
                return false;
        }
        return menu.activeAction() && menu.activeAction()->text() == title;
    }

    int clicks = 0;

    bool guideShown()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<ShortcutGuideView*>(w) && w->isVisible())
                return true;
        return false;
    }

    bool capturing()
    {
        ScrollingCaptureController* session = shell->scrollingCapture();
        return session && !session->model().stopping() && shell->editor() == nullptr;
    }
};

} // namespace

// While a menu of ours is open its keys are its own: Return chooses the entry under the keyboard
// and Escape closes the menu, and the scrolling capture, whose Return and Escape they are
// otherwise, goes on; quitting from the menu is still refused while it runs.
TEST_F(TrayKeys, ReturnAndEscapeInTheTrayMenuBelongToTheMenuDuringAScrollingCapture)
{
    startDesktop();
    start();
    ASSERT_TRUE(waitUntil([&] { return shell->tray()->geometry().isValid(); }, 10s)) << "the tray host took the icon";
    QLabel page;
    page.setWindowFlags(Qt::FramelessWindowHint);
    page.setPixmap(QPixmap::fromImage(noisePage(400, 500, 3)));
    page.setGeometry(600, 200, 400, 500);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    shell->captureScrolling();
    ScrollingCaptureController* session = shell->scrollingCapture();
    ASSERT_TRUE(session && waitUntil([&] { return session->selector() && !session->selector()->panels().empty(); }));
    x.drag(620, 220, 980, 680);
    ASSERT_TRUE(waitUntil([&] { return session->model().ready() && session->model().dimensions().endsWith(u"px"); }, 20s));

    // A quit is heard only inside the application's loop, as in the program.
    QuitGuard guard([this] {
        const bool quit = shell->shouldQuit();
        log << (quit ? QStringLiteral("quit") : QStringLiteral("stayed"));
        return quit;
    });
    bool walked = false;
    QTimer::singleShot(0, [&] {
        walked = true;
        [&] {
            ASSERT_TRUE(openTrayMenu());
            tap(XK_Escape);
            EXPECT_TRUE(waitUntil([&] { return !shell->trayMenu()->isVisible(); }, 10s)) << "Escape closed the menu";
            EXPECT_TRUE(capturing()) << "the capture went on";

            ASSERT_TRUE(openTrayMenu());
            ASSERT_TRUE(upTo(QStringLiteral("Горячие клавиши…")));
            tap(XK_Return);
            EXPECT_TRUE(waitUntil([&] { return guideShown() && !shell->trayMenu()->isVisible(); }, 10s))
                << "Return chose the entry";
            EXPECT_TRUE(capturing()) << "the capture went on";

            ASSERT_TRUE(openTrayMenu());
            ASSERT_TRUE(upTo(QStringLiteral("Завершить Tarnwick")));
            tap(XK_Return);
            EXPECT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("stayed")); }, 10s)) << "the quit was asked";
            EXPECT_TRUE(log.contains(QStringLiteral("beep")));
            EXPECT_FALSE(log.contains(QStringLiteral("quit")));
            EXPECT_TRUE(capturing()) << "the capture went on";

            // The menu closed, Return is the capture's again.
            ASSERT_TRUE(waitUntil([&] { return !shell->trayMenu()->isVisible(); }, 10s));
            tap(XK_Return);
            EXPECT_TRUE(waitUntil([&] { return shell->scrollingCapture() == nullptr && shell->editor() != nullptr; }, 20s))
                << "Return finished the capture";
        }();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    EXPECT_TRUE(walked);
}
