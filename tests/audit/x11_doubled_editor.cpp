// The editor on a 1920 × 1080 monitor at 2×, a 960 × 540 desk in Qt's units, under openbox: it
// opens whole on the screen, its title bar to move it by and its footer's buttons in reach.
#include "AuditedShell.h"

#include "editor/window/EditorExportWindow.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorView.h"
#include "support/DockedDesk.h"

using namespace tarnwick;
using namespace tarnwick::audit;
using namespace tarnwick::test;

namespace {

// Made before main makes the application: the one monitor shows everything at twice the size.
const bool doubled = qputenv("QT_SCREEN_SCALE_FACTORS", "2");

using DoubledEditor = AuditedShell;

TEST_F(DoubledEditor, OpensWholeWithItsTitleBarAndFooterOnTheScreen)
{
    ASSERT_TRUE(doubled);
    ASSERT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 960, 540));
    X11Client x;
    const FramedEditor framed = openFramedEditor(x, {1600, 900}, 2);
    ASSERT_TRUE(framed.window && !framed.client.isEmpty()) << "the editor was not framed";
    EditorExportWindow* editor = framed.window;
    const std::vector<std::uint32_t>& extents = framed.extents;
    // In the server's pixels: the client, and the frame openbox puts around it.
    const QRect client = framed.client;
    const QRect frame = client.adjusted(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
    const QRect screen(0, 0, 1920, 1080);
    EXPECT_TRUE(screen.contains(frame)) << "the editor's frame " << text(frame) << " leaves the screen";
    EXPECT_GE(frame.top(), 0) << "the title bar is above the screen";

    // Every button of the header and the footer shows whole.
    QList<QAbstractButton*> buttons = editor->view().header()->findChildren<QAbstractButton*>();
    buttons << editor->view().footer()->findChildren<QAbstractButton*>();
    int shown = 0;
    for (QAbstractButton* button : buttons) {
        if (!button->isVisible())
            continue;
        ++shown;
        const QRect pixels(client.topLeft() + button->mapTo(editor, QPoint()) * 2, button->size() * 2);
        EXPECT_TRUE(screen.contains(pixels)) << nameOf(button) << " at " << text(pixels) << " is off the screen";
    }
    EXPECT_GE(shown, 8);
}

} // namespace
