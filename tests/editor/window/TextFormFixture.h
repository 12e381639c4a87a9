#pragma once

// The text panel's fixture: a real editor window under openbox on the test's X server, driven
// through the server as a user drives it.

#include "WindowTestSupport.h"

#include "editor/tools/EditorPalette.h"
#include "editor/tools/FontRow.h"
#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/tools/TextEditorView.h"
#include "editor/tools/TextFontControls.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorView.h"
#include "panels/FileDialogs.h"
#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace tarnwick::test {

using namespace std::chrono_literals;

// A purple shot, unlike every palette colour, so a colour picked from it is told apart.
inline const QColor shotColour(150, 60, 200);

class TextForm : public ::testing::Test, public EditorHarness<platform::QtClipboardBackend> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startOpenbox(openbox));
        ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")}), 0);
        // Space is held through a drag: one press and one release, however slow the machine.
        ASSERT_EQ(runProcess(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("off")}), 0);
        QImage picture(900, 600, QImage::Format_ARGB32_Premultiplied);
        picture.fill(shotColour);
        open(Screenshot::make(picture, 1));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        ASSERT_TRUE(waitUntil([&] { return window->canvas()->hasFocus(); }));
    }
    void TearDown() override
    {
        delete window.data();
        openbox.terminate();
        openbox.waitForFinished();
    }

    void key(std::uint32_t keysym) { x.chord({x.keycodeOf(keysym)}); }
    void ctrl(std::uint32_t keysym) { x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(keysym)}); }
    // A click through the server on a point of the widget, its centre by default.
    void click(QWidget* widget, std::optional<QPoint> at = std::nullopt)
    {
        const QPoint global = widget->mapToGlobal(at.value_or(widget->rect().center()));
        x.click(global.x(), global.y());
    }
    QPoint onScreen(QPointF pixel) { return window->canvas()->mapToGlobal(onCanvas(pixel)); }
    // Clicks `opener` and then, once its menu shows, `entry` in it; the menu runs a loop of its
    // own, so the entry is clicked from a timer, which the caller keeps until the menu is done.
    void chooseFromMenu(QTimer& pick, QWidget* opener, QMenu* menu, QAction* entry)
    {
        QObject::connect(&pick, &QTimer::timeout, [this, &pick, menu, entry] {
            if (menu->isVisible()) {
                pick.stop();
                click(menu, menu->actionGeometry(entry).center());
            }
        });
        pick.start(50);
        click(opener);
    }

    TextEditorPanel* panel()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<TextEditorPanel*>(w); p && p->isVisible())
                return p;
        return nullptr;
    }
    TextEditorView& form() { return panel()->form(); }
    QString draft() { return state().text().draft(); }

    // The text tool's key, a click on the shot and `typed` in the panel that opens.
    void openPanel(const char* typed, QPointF pixel = {200, 150})
    {
        key(XK_6);
        ASSERT_TRUE(waitUntil([&] { return state().tool() == AnnotationTool::text; }));
        const QPoint at = onScreen(pixel);
        x.click(at.x(), at.y());
        // Typing starts once the panel's window holds the keyboard.
        ASSERT_TRUE(waitUntil([&] {
            return panel() && QGuiApplication::focusWindow() == panel()->windowHandle()
                   && QApplication::focusWidget() == form().textField();
        })) << "the panel did not take the keys";
        type(typed);
    }
    // Letters typed one by one; true once the draft ends with them.
    bool type(const char* letters)
    {
        const QString before = draft();
        for (const char* c = letters; *c; ++c)
            key(XK_a + std::uint32_t(*c - 'a'));
        return waitUntil([&] { return draft() == before + QString::fromLatin1(letters); }, 10s);
    }

    // The panel is gone with the list it had open: a digit, ] and Space with a drag reach the canvas.
    void expectCanvasKeys(const std::string& how)
    {
        ASSERT_TRUE(waitUntil([&] { return !panel() && !state().text().isOpen(); })) << how;
        state().setSelectedID(std::nullopt); // a saved text is selected, and ] would not widen it
        CanvasNavigation zoomed;
        zoomed.zoom = 2; // room to pan
        state().setNavigation(zoomed);
        key(XK_3);
        ASSERT_TRUE(waitUntil([&] { return state().tool() == AnnotationTool::rectangle; }, 15s)) << "3 after " << how;
        const double width = state().style().displayedStrokeWidth();
        key(XK_bracketright);
        EXPECT_TRUE(waitUntil([&] { return state().style().displayedStrokeWidth() == width + 1; }, 15s))
            << "] after " << how;
        const qsizetype elements = state().annotations().size();
        const QPoint from = onScreen({300, 300}), to = onScreen({200, 250});
        x.press(x.keycodeOf(XK_space));
        EXPECT_TRUE(waitUntil([&] { return window->canvas()->spaceDown(); }, 15s)) << "Space after " << how;
        // openbox holds the pointer's press until it has looked at it, not the keys: Space stays
        // down until the drag has arrived, as under a hand.
        x.drag(from.x(), from.y(), to.x(), to.y());
        EXPECT_TRUE(waitUntil([&] { return state().navigation().pan != QSizeF(0, 0); }, 15s)) << "Space+drag after " << how;
        x.release(x.keycodeOf(XK_space));
        EXPECT_EQ(state().annotations().size(), elements) << "the drag drew instead of panning, after " << how;
    }

    X11Client x;
    QProcess openbox;
};

} // namespace tarnwick::test
