// The toolbar's palette popover on a real X server: real pointer clicks, a real typed tool key.

#include "WindowTestSupport.h"

#include "editor/canvas/ImageCanvasView.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorPopover.h"
#include "editor/window/EditorView.h"
#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <X11/keysym.h>
#include <QAbstractButton>
#include <QApplication>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

TEST(ToolbarX11, ThePaletteLeavesTheKeyboardToTheCanvasAndItsButtonTogglesIt)
{
    EditorHarness<platform::QtClipboardBackend> editor;
    X11Client x;
    editor.open(shotOf({320, 200}));
    auto* canvas = new ImageCanvasView(editor.state());
    editor.window->view().setCanvas(canvas);
    editor.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.window));
    canvas->setFocus();
    auto& controls = *editor.window->view().floatingToolbar()->controls();
    EditorPopover* palette = controls.palettePopover();
    const auto clickButton = [&] {
        const QPoint at = controls.colorButton()->mapToGlobal(controls.colorButton()->rect().center());
        x.click(at.x(), at.y());
    };

    clickButton();
    ASSERT_TRUE(waitUntil([&] { return palette->isOpen(); }));
    clickButton();
    ASSERT_TRUE(waitUntil([&] { return !palette->isOpen(); }));
    QTest::qWait(100);
    EXPECT_FALSE(palette->isOpen()) << "the press that closed it does not open it again";

    clickButton();
    ASSERT_TRUE(waitUntil([&] { return palette->isOpen(); }));
    EXPECT_EQ(QApplication::focusWidget(), canvas) << "the open palette took the keyboard";
    x.chord({x.keycodeOf(XK_8)});
    ASSERT_TRUE(waitUntil([&] { return editor.state().tool() == AnnotationTool::blur; })) << "the typed 8 reached the canvas";
    EXPECT_TRUE(waitUntil([&] { return !palette->isOpen(); }));
}
