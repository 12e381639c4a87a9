// The editor window on a real X server: keys typed through XTEST with the
// Russian group active, the clipboard read by xclip from another process.

#include "WindowTestSupport.h"

#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <X11/keysym.h>
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class EditorWindowX11 : public ::testing::Test, public EditorHarness<platform::QtClipboardBackend> {
protected:
    X11Client x;

    // An editor on a shot with a red rectangle and a comment, focused, the Russian group locked.
    void openFocused()
    {
        open(shotOf({320, 200}));
        state().add(redRectangle({20, 20}, {120, 120}), false);
        Annotation comment = freshAnnotation(AnnotationTool::comment, {250, 150});
        comment.text = QStringLiteral("текст");
        state().add(comment, false);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
        x.lockGroup(1);
        ASSERT_EQ(x.lockedGroup(), 1);
    }
    void ctrl(std::uint32_t keysym) { x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(keysym)}); }
};

} // namespace

TEST_F(EditorWindowX11, CtrlCCopiesWithoutMarkersAndCloses)
{
    openFocused();
    ctrl(XK_c);
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); })) << "Ctrl+C on the Russian group";
    EXPECT_EQ(finishes, (QVector<std::pair<bool, bool>>{{false, true}}));
    EXPECT_EQ(model.status(), QStringLiteral("Снимок без маркировки скопирован — Ctrl+V"));
    EXPECT_TRUE(model.shots().isEmpty());

    QImage copied;
    ASSERT_TRUE(copied.loadFromData(xclipRead(QStringLiteral("image/png")), "PNG"));
    ASSERT_EQ(copied.size(), QSize(320, 200));
    const QColor edge = copied.pixelColor(20, 70);
    EXPECT_GT(edge.red(), 200);
    EXPECT_LT(edge.green(), 150) << "the drawing is there";
    for (int dx = -12; dx <= 12; dx += 4)
        EXPECT_EQ(copied.pixelColor(250 + dx, 150), QColor(200, 200, 200)) << "no comment marker at " << dx;
}

TEST_F(EditorWindowX11, CtrlEnterSavesIntoTheSeriesOnce)
{
    openFocused();
    ctrl(XK_Return);
    ASSERT_TRUE(waitUntil([&] { return window.isNull(); }));
    ctrl(XK_Return);
    QTest::qWait(50);
    ASSERT_EQ(model.shots().size(), 1);
    EXPECT_EQ(model.shots().first().annotations.size(), 2);
    EXPECT_EQ(finishes, (QVector<std::pair<bool, bool>>{{true, true}}));
}

TEST_F(EditorWindowX11, EscapeKeepsTheEditAndCtrlZUndoesOnTheRussianGroup)
{
    openFocused();
    x.chord({x.keycodeOf(XK_Escape)});
    ctrl(XK_z);
    ASSERT_TRUE(waitUntil([&] { return state().annotations().size() == 1; })) << "Ctrl+Z undid the comment";
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(finishes.isEmpty()) << "Escape alone never ends the editor";
    x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(XK_Shift_L), x.keycodeOf(XK_z)});
    ASSERT_TRUE(waitUntil([&] { return state().annotations().size() == 2; })) << "Ctrl+Shift+Z redid it";
}

TEST_F(EditorWindowX11, SizeFollowsTheScreenNotTheShot)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(area.size(), QSize(1920, 1080));
    for (QSize shot : {QSize(200, 120), QSize(1920, 1080), QSize(5120, 2880)}) {
        open(shotOf(shot));
        EXPECT_EQ(window->size(), QSize(1180, 790)) << shot.width();
        EXPECT_EQ(window->minimumSize(), QSize(850, 620));
        delete window.data();
    }
    EXPECT_EQ(EditorExportWindow::contentSize(QRect(0, 0, 1366, 768)), QSize(1180, 698));
    EXPECT_EQ(EditorExportWindow::contentSize(QRect(0, 25, 2560, 1415)), QSize(1180, 790));
    EXPECT_EQ(EditorExportWindow::contentSize(std::nullopt), QSize(1180, 790));
}
