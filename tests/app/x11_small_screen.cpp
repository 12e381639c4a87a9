#include "ShellFixture.h"
#include "support/DockedDesk.h"

#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"

#include <QApplication>
#include <QWidget>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// A netbook's 1024×600 screen under openbox, with a tray host keeping 32 px of it.
class SmallScreen : public ShellTest {
protected:
    // trayer along `edge` ("top" or "bottom"), at its right end, keeping its room through its strut;
    // true once the window manager's work area leaves that room out.
    bool startDock(const char* edge, const QRect& usable)
    {
        desktop << new QProcess;
        desktop.back()->start(QStringLiteral("trayer"), {"--edge", edge, "--align", "right", "--widthtype", "request",
                                                         "--height", "32", "--SetDockType", "true", "--SetPartialStrut",
                                                         "true"});
        const std::vector<std::uint32_t> wanted{std::uint32_t(usable.x()), std::uint32_t(usable.y()),
                                                std::uint32_t(usable.width()), std::uint32_t(usable.height())};
        return waitUntil([&] {
            std::vector<std::uint32_t> area = x.cardinals(x.root(), "_NET_WORKAREA");
            area.resize(std::min<std::size_t>(area.size(), 4));
            return area == wanted && x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0;
        }, 30s);
    }

    // Where the server shows the window with the frame openbox put around it, once it stays put,
    // and how tall its title bar is.
    std::pair<QRect, int> framed(const QWidget& window)
    {
        const auto id = std::uint32_t(window.winId());
        std::vector<std::uint32_t> extents;
        const QRect frame = settledPlace([&] {
            extents = x.cardinals(id, "_NET_FRAME_EXTENTS");
            QRect r = x.rootGeometry(id);
            if (r.isEmpty() || extents.size() != 4)
                return QRect();
            return r.adjusted(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
        }, window.windowTitle().toStdString());
        return {frame, extents.size() == 4 ? int(extents[2]) : 0};
    }

    static QWidget* windowTitled(const QString& title)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == title)
                return w;
        return nullptr;
    }
};

TEST_F(SmallScreen, EveryWindowOpensWithItsTitleBarOnTheUsableArea)
{
    desktop << new QProcess;
    ASSERT_TRUE(startOpenbox(*desktop.back()));
    const QRect usable(0, 32, 1024, 568);
    ASSERT_TRUE(startDock("top", usable));
    start();
    QImage picture(1600, 1000, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("large.png"))));

    shell->showShortcutGuide();
    shell->showPermissionSetup();
    shell->importImage(dir.filePath(QStringLiteral("large.png")));
    for (const QString& title :
         {QStringLiteral("Горячие клавиши · Tarnwick"), QStringLiteral("Tarnwick · Разрешения"), QStringLiteral("Tarnwick · A")}) {
        SCOPED_TRACE(title.toStdString());
        QWidget* window = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (window = windowTitled(title)) != nullptr; }, 30s));
        const auto [frame, titleBar] = framed(*window);
        ASSERT_GT(titleBar, 0) << "not framed";
        const QRect bar(frame.topLeft(), QSize(frame.width(), titleBar));
        EXPECT_TRUE(usable.contains(bar)) << "title bar at " << text(bar) << ", usable " << text(usable);
    }
    // The guide gives up height rather than hang off the screen.
    const auto [guide, guideTitle] = framed(*windowTitled(QStringLiteral("Горячие клавиши · Tarnwick")));
    EXPECT_TRUE(usable.contains(guide)) << text(guide);
}

TEST_F(SmallScreen, ThePanelKeepsOffATrayHostThatComesAfterIt)
{
    desktop << new QProcess;
    ASSERT_TRUE(startOpenbox(*desktop.back()));
    start();
    FloatingPanel& panel = *shell->panel();
    const QRect before = settledPlace([&] { return panel.isVisible() ? x.rootGeometry(std::uint32_t(panel.winId())) : QRect(); });
    EXPECT_EQ(before.bottomRight(), QPoint(1023 - 14, 599 - 14));

    const QRect usable(0, 0, 1024, 568);
    ASSERT_TRUE(startDock("bottom", usable));
    EXPECT_TRUE(waitUntil([&] { return x.rootGeometry(std::uint32_t(panel.winId())).bottomRight() == QPoint(1023 - 14, 567 - 14); },
                          30s))
        << "the panel stays at " << text(x.rootGeometry(std::uint32_t(panel.winId())));
    const QRect after = settledPlace([&] { return x.rootGeometry(std::uint32_t(panel.winId())); });
    EXPECT_TRUE(usable.contains(after)) << text(after);
}

} // namespace
