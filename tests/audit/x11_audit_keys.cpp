// The editor's keys after each of its panels, sheets, popovers, menus and dialogs closes, by
// saving, by cancelling and by the close button of its window: the canvas has the keys again (a
// digit changes the tool, Space pans), whatever had them meanwhile. Driven as a person would:
// real key presses and clicks through XTEST, window closes through openbox.
#include "AuditedShell.h"

#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/tools/TextEditorView.h"
#include "editor/window/EditorCommentSheet.h"
#include "editor/window/EditorExportWindow.h"
#include "editor/window/EditorFloatingControls.h"
#include "editor/window/EditorFloatingToolbar.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorPopover.h"
#include "editor/window/EditorSaveControls.h"
#include "editor/window/EditorView.h"
#include "support/X11Client.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <xcb/xcb.h>

using namespace tarnwick;
using namespace tarnwick::audit;
using namespace std::chrono_literals;

namespace {

enum Keysym : std::uint32_t { a = 0x61, b = 0x62, c = 0x63, one = 0x31, three = 0x33, space = 0x20, control = 0xffe3, enter = 0xff0d, escape = 0xff1b };

// Who has the keys, as the user would name it: the widget's class and its name.
std::string keyHolder(const QWidget* w)
{
    if (!w)
        return "no widget";
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    const QString name = !w->accessibleName().isEmpty() ? w->accessibleName() : button ? button->text() : w->windowTitle();
    return w->metaObject()->className() + (name.isEmpty() ? "" : " '" + name.toStdString() + "'");
}

class EditorKeysAudit : public AuditedShell {
protected:
    void SetUp() override
    {
        AuditedShell::SetUp();
        // Keys and clicks come through XTEST, which the server without RECORD lacks too.
        std::unique_ptr<xcb_query_extension_reply_t, decltype(&std::free)> xtest(
            xcb_query_extension_reply(x.connection(), xcb_query_extension(x.connection(), 5, "XTEST"), nullptr), &std::free);
        if (!xtest || !xtest->present)
            GTEST_SKIP() << "the X server has no XTEST";
        for (QWidget* w : shownWindows()) // the panel, and the permission window a server without RECORD opens
            w->hide();
        QImage image(800, 500, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(90, 140, 200));
        shell->openEditor(Screenshot::make(image, 1), "A");
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor()));
        ASSERT_TRUE(test::waitUntil([&] { return canvas()->hasFocus(); }, 30s));
    }

    EditorExportWindow* editor() const { return shell->editor(); }
    EditorState& state() const { return editor()->state(); }
    ImageCanvasView* canvas() const { return editor()->canvas(); }
    EditorView& view() const { return editor()->view(); }

    void tap(std::uint32_t keysym) { x.chord({x.keycodeOf(keysym)}); }
    void chord(std::initializer_list<std::uint32_t> keysyms)
    {
        std::vector<std::uint8_t> codes;
        for (std::uint32_t k : keysyms)
            codes.push_back(x.keycodeOf(k));
        x.chord(codes);
    }
    void click(const QWidget* w)
    {
        const QPoint at = w->mapToGlobal(w->rect().center());
        x.click(at.x(), at.y());
    }
    void clickAction(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions())
            if (action->text() == text) {
                const QPoint at = menu->mapToGlobal(menu->actionGeometry(action).center());
                return x.click(at.x(), at.y());
            }
        ADD_FAILURE() << "no item " << text.toStdString();
    }

    // Runs `act` once `find` names a shown window, from whatever loop is running then (a menu or a
    // modal dialog runs its own).
    std::shared_ptr<QTimer> whenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> act)
    {
        auto timer = std::make_shared<QTimer>();
        timer->setInterval(50);
        QObject::connect(timer.get(), &QTimer::timeout, [timer = timer.get(), find, act] {
            QWidget* w = find();
            if (!w || !w->isVisible() || !QTest::qWaitForWindowExposed(w, 0))
                return;
            timer->stop();
            QTest::qWait(100); // the window manager maps and focuses it
            act(w);
        });
        timer->start();
        return timer;
    }
    static QWidget* openMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    static QWidget* fileDialog() { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); }
    QWidget* textPanel() const
    {
        for (QWidget* w : shownWindows())
            if (qobject_cast<TextEditorPanel*>(w))
                return w;
        return nullptr;
    }

    void openText()
    {
        state().text().request({100, 100}, std::nullopt);
        ASSERT_TRUE(test::waitUntil([&] {
            auto* panel = static_cast<TextEditorPanel*>(textPanel());
            return panel && panel->isActiveWindow() && panel->form().textField()->hasFocus();
        }, 5s));
        chord({a}), chord({b}), chord({c});
        ASSERT_TRUE(test::waitUntil([&] { return state().text().draft() == "abc"; }, 30s));
    }
    void openComment()
    {
        state().comment().request({120, 120}, std::nullopt);
        EditorCommentSheet* sheet = view().commentSheet();
        ASSERT_TRUE(test::waitUntil([&] { return sheet->isActiveWindow() && sheet->editor()->hasFocus(); }, 30s));
        chord({a}), chord({b}), chord({c});
        ASSERT_TRUE(test::waitUntil([&] { return state().comment().text() == "abc"; }, 30s));
    }
    // Opens a menu by its button and, inside the menu's loop, does `act` with it.
    void throughMenu(QToolButton* button, std::function<void(QMenu*)> act)
    {
        bool done = false;
        auto timer = whenShown(openMenu, [&, act](QWidget* menu) { act(static_cast<QMenu*>(menu)), done = true; });
        click(button);
        ASSERT_TRUE(test::waitUntil([&] { return done && !openMenu(); }, 10s));
    }
    // Closes the file dialog the next step opens, by its cancel button or its window's close button.
    std::shared_ptr<QTimer> closeFileDialog(bool byWindowButton)
    {
        return whenShown(fileDialog, [this, byWindowButton](QWidget* dialog) {
            if (byWindowButton)
                x.closeWindow(std::uint32_t(dialog->winId()));
            else
                click(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
        });
    }

    // The canvas has the keys: a digit changes the tool and Space pans.
    void expectKeysOnCanvas(const std::string& after)
    {
        // Qt may call the editor active before the window manager has handed it the server's focus,
        // where the keys really go.
        const bool onCanvas = test::waitUntil(
            [&] {
                return QApplication::activeWindow() == editor() && QApplication::focusWidget() == canvas() &&
                       x.inputFocus() == std::uint32_t(editor()->winId());
            },
            30s);
        if (!onCanvas) {
            const QWidget* active = QApplication::activeWindow();
            ADD_FAILURE() << "after " << after << ": keys go to "
                          << (active && active != editor() ? "the window " + keyHolder(active) : keyHolder(QApplication::focusWidget()));
            editor()->activateWindow(); // the next case starts where the user would
            canvas()->setFocus();
            test::waitUntil([&] { return QApplication::activeWindow() == editor() && canvas()->hasFocus(); }, 5s);
            return;
        }
        const AnnotationTool wanted = state().tool() == AnnotationTool::rectangle ? AnnotationTool::select : AnnotationTool::rectangle;
        tap(wanted == AnnotationTool::rectangle ? three : one);
        EXPECT_TRUE(test::waitUntil([&] { return state().tool() == wanted; }, 30s)) << "after " << after << ": a digit leaves the tool";
        x.press(x.keycodeOf(space));
        EXPECT_TRUE(test::waitUntil([&] { return canvas()->spaceDown(); }, 30s)) << "after " << after << ": Space does not pan";
        x.release(x.keycodeOf(space));
        EXPECT_TRUE(test::waitUntil([&] { return !canvas()->spaceDown(); }, 30s)) << "after " << after;
    }

    test::X11Client x;
};

TEST_F(EditorKeysAudit, CanvasHasTheKeysAfterEveryWindowOfTheEditorCloses)
{
    EditorHeader* header = view().header();
    EditorSaveControls* save = header->saveControls();
    EditorFloatingToolbar* toolbar = view().floatingToolbar();
    const struct {
        const char* name;
        std::function<void()> run; // opens something of the editor and closes it
    } cases[] = {
        {"the text panel saved with Ctrl+Enter", [&] { openText(), chord({control, enter}); }},
        {"the text panel cancelled", [&] { openText(), click(static_cast<TextEditorPanel*>(textPanel())->form().cancelButton()); }},
        {"the text panel closed with Escape", [&] { openText(), chord({escape}); }},
        {"the text panel closed by its window's button", [&] { openText(), x.closeWindow(std::uint32_t(textPanel()->winId())); }},
        {"the comment sheet saved with Ctrl+Enter", [&] { openComment(), chord({control, enter}); }},
        {"the comment sheet cancelled", [&] { openComment(), click(view().commentSheet()->cancelButton()); }},
        {"the comment sheet closed by its window's button",
         [&] { openComment(), x.closeWindow(std::uint32_t(view().commentSheet()->winId())); }},
        {"the palette popover", [&] {
             click(toolbar->controls()->colorButton());
             ASSERT_TRUE(test::waitUntil([&] { return toolbar->controls()->palettePopover()->isOpen(); }, 30s));
             click(toolbar->controls()->colorButton());
             ASSERT_TRUE(test::waitUntil([&] { return !toolbar->controls()->palettePopover()->isOpen(); }, 30s));
         }},
        {"the tool's details popover", [&] {
             state().setTool(AnnotationTool::arrow);
             ASSERT_TRUE(test::waitUntil([&] { return toolbar->controls()->settingsButton()->isEnabled(); }, 30s));
             click(toolbar->controls()->settingsButton());
             ASSERT_TRUE(test::waitUntil([&] { return toolbar->controls()->detailsPopover()->isOpen(); }, 30s));
             click(toolbar->controls()->settingsButton());
             ASSERT_TRUE(test::waitUntil([&] { return !toolbar->controls()->detailsPopover()->isOpen(); }, 30s));
         }},
        {"the add menu closed with Escape", [&] { throughMenu(header->addButton(), [&](QMenu*) { chord({escape}); }); }},
        {"the save folder menu closed with Escape", [&] { throughMenu(save->folderButton(), [&](QMenu*) { chord({escape}); }); }},
        {"the orientation menu with an item chosen",
         [&] { throughMenu(toolbar->orientationButton(), [&](QMenu* menu) { clickAction(menu, "Горизонтально"); }); }},
        {"the folder dialog of the save folder menu cancelled", [&] {
             auto dialog = closeFileDialog(false);
             throughMenu(save->folderButton(), [&](QMenu* menu) { clickAction(menu, "Выбрать папку сохранения…"); });
             ASSERT_TRUE(test::waitUntil([&] { return !dialog->isActive() && !fileDialog(); }, 10s));
         }},
        {"the folder dialog of «Сохранить без маркировки» closed by its window's button", [&] {
             auto dialog = closeFileDialog(true);
             click(save->saveButton());
             ASSERT_TRUE(test::waitUntil([&] { return !dialog->isActive() && !fileDialog(); }, 10s));
         }},
        {"the file dialog of «Выбрать файл…» cancelled", [&] {
             auto dialog = closeFileDialog(false);
             throughMenu(header->addButton(), [&](QMenu* menu) { clickAction(menu, "Выбрать файл…"); });
             ASSERT_TRUE(test::waitUntil([&] { return !dialog->isActive() && !fileDialog(); }, 10s));
         }},
    };
    // No button of the window takes the keys, by a click or by Tab.
    for (const QAbstractButton* button : editor()->findChildren<QAbstractButton*>()) {
        if (button->window() == editor()) {
            EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << keyHolder(button) << " takes the keys";
        }
    }
    for (const auto& step : cases) {
        step.run();
        ASSERT_TRUE(editor()) << step.name << " closed the editor";
        expectKeysOnCanvas(step.name);
    }
}

} // namespace
