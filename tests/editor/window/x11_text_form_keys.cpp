// The text panel of a real editor window under openbox, driven through the X server as a user
// drives it: what is typed reaches the text field after a click on any control of the form,
// Escape in the open font list acts on the list alone, the canvas has the keys once the panel
// is gone, and the rainbow slot on screen follows the colour the user chose last.

#include "TextFormFixture.h"

using namespace tarnwick;
using namespace tarnwick::test;
using namespace std::chrono_literals;

namespace {

TEST_F(TextForm, LettersReachTheTextFieldAfterAClickOnEveryControl)
{
    openPanel("ab");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(draft(), QStringLiteral("ab"));
    char next = 'c';
    const auto typedAfter = [&](const std::string& control) {
        const char letter[] = {next++, 0};
        const QWidget* keys = QApplication::focusWidget();
        EXPECT_TRUE(type(letter)) << "typed after a click on " << control << " went to "
                                  << (keys ? keys->metaObject()->className() : "nothing") << ": «" << draft().toStdString() << "»";
    };

    TextFontControls* fonts = form().fontControls();
    const std::pair<int, const char*> styles[] = {{1, "«Жирный»"}, {2, "«Курсив»"}, {3, "«Зачёркнутый»"}, {0, "«Обычный»"}};
    for (const auto& [index, name] : styles) {
        const TextFontStyle before = state().text().style();
        click(fonts->styleButton(index));
        ASSERT_TRUE(waitUntil([&] { return !(state().text().style() == before); })) << name;
        typedAfter(name);
    }

    const bool outlined = state().text().outline();
    click(form().outline(), QPoint(8, form().outline()->height() / 2)); // the box, not the empty row beside its title
    ASSERT_TRUE(waitUntil([&] { return state().text().outline() != outlined; }));
    typedAfter("the outline");

    // The groove right of the handle: the size grows by a step.
    const double size = state().text().fontSize();
    QSlider* slider = form().sizeSlider();
    click(slider, QPoint(slider->width() - 4, slider->height() / 2));
    ASSERT_TRUE(waitUntil([&] { return state().text().fontSize() > size; }));
    typedAfter("the size slider");

    click(form().previewArea());
    typedAfter("the preview");

    for (int i : {3, 0, 5, 2, 4, 1}) {
        click(form().swatch(i));
        ASSERT_TRUE(waitUntil([&] { return state().style().colorIndex() == i; })) << i;
        typedAfter("colour " + std::to_string(i + 1));
    }

    // The font list opens with its search for the keys; after a choice the text field has them again.
    click(fonts->fontButton());
    ASSERT_TRUE(waitUntil([&] { return fonts->choosingFont() && fonts->picker()->search()->hasFocus(); }));
    click(fonts->picker()->systemRow());
    ASSERT_TRUE(waitUntil([&] { return !fonts->choosingFont(); }));
    typedAfter("a font in the list");

    const QString typed = draft();
    ctrl(XK_Return);
    ASSERT_TRUE(waitUntil([&] { return !state().text().isOpen(); }));
    ASSERT_EQ(state().annotations().size(), 1);
    EXPECT_EQ(state().annotations()[0].text, typed);
    EXPECT_EQ(typed, QStringLiteral("abcdefghijklmnop"));
}

TEST_F(TextForm, EscapeAndCtrlEnterInTheFontListActOnTheListAlone)
{
    openPanel("ab");
    ASSERT_FALSE(HasFatalFailure());
    const QPointer<TextFontControls> fonts = form().fontControls();
    const auto openList = [&] {
        click(fonts->fontButton());
        return waitUntil([&] { return fonts->choosingFont() && fonts->picker()->search()->hasFocus(); });
    };

    ASSERT_TRUE(openList());
    for (std::uint32_t letter : {XK_m, XK_o, XK_n, XK_o})
        key(letter);
    ASSERT_TRUE(waitUntil([&] { return fonts->picker()->search()->text() == QStringLiteral("mono"); }))
        << "the list's search takes the keys";
    ASSERT_EQ(draft(), QStringLiteral("ab"));
    ctrl(XK_Return);
    ASSERT_TRUE(waitUntil([&] { return !fonts || !fonts->choosingFont(); }));
    // A letter typed next arrives after all that key did.
    EXPECT_TRUE(type("c")) << "the text field has the keys again";
    EXPECT_TRUE(state().annotations().isEmpty()) << "Ctrl+Enter in the list saved the text";
    ASSERT_TRUE(fonts && state().text().isOpen()) << "Ctrl+Enter in the list closed the panel";

    ASSERT_TRUE(openList());
    key(XK_Escape);
    ASSERT_TRUE(waitUntil([&] { return !fonts || !fonts->choosingFont(); }));
    EXPECT_TRUE(type("d")) << "the text field has the keys again";
    ASSERT_TRUE(state().text().isOpen()) << "Escape in the list closed the panel";
    EXPECT_EQ(draft(), QStringLiteral("abcd"));

    key(XK_Escape);
    ASSERT_TRUE(waitUntil([&] { return !state().text().isOpen(); })) << "a second Escape closes the panel";
    EXPECT_TRUE(state().annotations().isEmpty());
}

TEST_F(TextForm, TheCanvasHasTheKeysAfterThePanelClosedWithItsFontListOpen)
{
    // The keys a user presses in the open list until the panel is gone, and the model closing it.
    const struct {
        std::string how;
        std::function<void()> close;
        qsizetype saved;
    } ways[] = {
        {"Escape", [&] { key(XK_Escape); }, 0},
        {"Ctrl+Enter", [&] { ctrl(XK_Return); }, 1},
        {"the model", [&] { state().text().setOpen(false); }, 0},
    };
    double row = 100;
    for (const auto& way : ways) {
        state().setTool(AnnotationTool::select);
        state().setNavigation(CanvasNavigation{});
        const qsizetype before = state().annotations().size();
        openPanel("ab", {200, row += 100});
        ASSERT_FALSE(HasFatalFailure()) << way.how;
        const QPointer<TextFontControls> fonts = form().fontControls();
        click(fonts->fontButton());
        ASSERT_TRUE(waitUntil([&] { return fonts->choosingFont() && fonts->picker()->search()->hasFocus(); })) << way.how;
        way.close();
        ASSERT_TRUE(waitUntil([&] { return !fonts || !fonts->choosingFont(); })) << way.how;
        if (state().text().isOpen()) // the list took the first press
            way.close();
        expectCanvasKeys(way.how);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(state().annotations().size(), before + way.saved) << way.how;
    }
}

TEST_F(TextForm, ASwatchAfterAPickedColourTakesTheRingAndBadgeOffTheRainbowSlot)
{
    openPanel("ab");
    ASSERT_FALSE(HasFatalFailure());
    auto* slot = form().findChild<CustomColorSlot*>();
    ASSERT_NE(slot, nullptr);
    // What the screen shows of the slot: the ring's top, the badge's middle and a corner outside both.
    const auto shown = [&](QPoint at) {
        const QPoint global = slot->mapToGlobal(at);
        return QGuiApplication::primaryScreen()->grabWindow(0, global.x(), global.y(), 1, 1).toImage().pixelColor(0, 0);
    };
    const QPoint ring(slot->width() / 2, 0), badge(slot->width() - 4, slot->height() - 4), corner(0, 0);

    click(slot);
    ASSERT_TRUE(waitUntil([&] { return state().style().pickingColor() && !panel(); }));
    const QPoint on = onScreen({400, 300});
    x.click(on.x(), on.y());
    ASSERT_TRUE(waitUntil([&] { return !state().style().pickingColor() && panel(); }));
    ASSERT_EQ(state().style().colorIndex(), -1);
    ASSERT_TRUE(state().style().customColor().has_value());
    slot = form().findChild<CustomColorSlot*>();
    ASSERT_TRUE(waitUntil([&] { return shown(badge) == shotColour && shown(ring).lightness() > 200; }))
        << "the picked colour shows as the slot's badge, the slot ringed";
    EXPECT_TRUE(type("c")) << "the text field has the keys after the pick";

    click(form().swatch(2));
    ASSERT_TRUE(waitUntil([&] { return state().style().colorIndex() == 2 && !state().style().customColor(); }));
    EXPECT_TRUE(waitUntil([&] { return shown(badge) == shown(corner); }, 10s))
        << "the badge stays: " << shown(badge).name().toStdString();
    EXPECT_TRUE(waitUntil([&] { return shown(ring) == shown(corner); }, 10s))
        << "the ring stays: " << shown(ring).name().toStdString();
    EXPECT_TRUE(type("d"));
}

} // namespace

namespace {

using EditorHeaderOnOpenbox = TextForm;

// «Выбрать файл…» from the add button's menu, the file dialog cancelled: the button is drawn as
// the pointer, now elsewhere, leaves it, without its hover tile.
TEST_F(EditorHeaderOnOpenbox, TheAddButtonDropsItsHoverAfterACancelledFileDialog)
{
    QToolButton* add = window->view().header()->addButton();
    int dialogs = 0;
    // The shell's dialog, cancelled as a user does: a click on «Отмена» once it has the keys.
    importImage = [&] {
        ++dialogs;
        QTimer cancel;
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || QGuiApplication::focusWindow() != dialog->windowHandle())
                return;
            for (QPushButton* b : dialog->findChildren<QPushButton*>())
                if (b->isVisible() && b->text().contains(QStringLiteral("Отмена"))) {
                    cancel.stop();
                    click(b);
                }
        });
        cancel.start(50);
        runFileDialog(window, QStringLiteral("Добавить изображение"), QStringLiteral("Изображения (*.png)"),
                      QFileDialog::ExistingFiles, QFileDialog::AcceptOpen);
    };

    // The menu and the dialog run loops of their own: what the user does there runs from timers.
    QMenu* menu = add->menu();
    QAction* choose = menu->actions().last();
    ASSERT_EQ(choose->text(), QStringLiteral("Выбрать файл…"));
    QTimer pick;
    chooseFromMenu(pick, add, menu, choose);
    ASSERT_TRUE(waitUntil([&] { return dialogs == 1 && !QApplication::activeModalWidget() && window->isActiveWindow(); }));
    EXPECT_FALSE(add->rect().contains(add->mapFromGlobal(QCursor::pos())));
    EXPECT_TRUE(waitUntil([&] { return !add->underMouse(); }, 10s)) << "the add button keeps its hover tile";
    EXPECT_TRUE(state().annotations().isEmpty());
}

// «Вертикально» and then «Горизонтально» chosen from the toolbar's orientation menu: the button
// moves with the bar from under the pointer, which stays on the menu's entry, and is drawn
// without its hover tile.
TEST_F(EditorHeaderOnOpenbox, TheOrientationButtonDropsItsHoverAfterAChosenOrientation)
{
    EditorFloatingToolbar* toolbar = window->view().floatingToolbar();
    QToolButton* button = toolbar->orientationButton();
    QMenu* menu = toolbar->orientationMenu();
    for (const auto& [choice, vertical] : {std::pair{"Вертикально", true}, {"Горизонтально", false}}) {
        QAction* entry = nullptr;
        for (QAction* action : menu->actions())
            entry = action->text() == QString::fromUtf8(choice) ? action : entry;
        ASSERT_TRUE(entry) << choice;
        QTimer pick;
        chooseFromMenu(pick, button, menu, entry);
        ASSERT_TRUE(waitUntil([&] { return !menu->isVisible() && toolbar->vertical() == vertical; })) << choice;
        EXPECT_FALSE(button->rect().contains(button->mapFromGlobal(QCursor::pos()))) << choice;
        EXPECT_TRUE(waitUntil([&] { return !button->underMouse(); }, 10s)) << "the button keeps its hover tile after " << choice;
    }
}

} // namespace
