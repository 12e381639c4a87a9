// The editor's keys on a real X server, sent by key code: each works on its
// place under the layouts Russian speakers use, and a held key is one undo step.

#include "WindowTestSupport.h"

#include "platform/QtClipboardBackend.h"
#include "support/X11Client.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// evdev key codes: where the keys sit, whatever they type.
enum Code : std::uint8_t {
    zero = 19, minus = 20, equal = 21, three = 12, bracketLeft = 34, bracketRight = 35,
    control = 37, shift = 50, z = 52, c = 54, v = 55, slash = 61, right = 114, del = 119,
};

class EditorKeys : public ::testing::Test, public EditorHarness<platform::QtClipboardBackend> {
protected:
    X11Client x;

    // An editor with a selected arrow of width 5 from (20, 20), the canvas focused.
    void openWith(const char* layout, int group)
    {
        ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QString::fromLatin1(layout)}), 0);
        x.lockGroup(group);
        ASSERT_EQ(x.lockedGroup(), group);
        open(shotOf({320, 200}));
        Annotation arrow = freshAnnotation(AnnotationTool::arrow, {20, 20});
        arrow.end = {120, 60};
        arrow.strokeWidth = 5;
        state().add(arrow, false);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        window->canvas()->setFocus();
        ASSERT_TRUE(waitUntil([&] { return window->canvas()->hasFocus(); }));
    }
    double width() { return state().annotations().isEmpty() ? 0 : state().annotations()[0].strokeWidth; }
    double left() { return state().annotations()[0].start.x(); }
    double zoom() { return state().navigation().zoom; }
};

} // namespace

TEST_F(EditorKeys, EveryKeyWorksOnItsPlaceInEveryLayout)
{
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(Qt::red);
    // Layout and the group locked: Latin first, Russian active, Russian first, Russian alone.
    const std::pair<const char*, int> layouts[] = {{"us", 0}, {"us,ru", 1}, {"ru,us", 0}, {"ru", 0}};
    for (const auto& [layout, group] : layouts) {
        openWith(layout, group);
        QGuiApplication::clipboard()->setImage(tile);
        const double fitted = zoom(); // the smallest zoom
        const struct {
            const char* key;
            std::vector<std::uint8_t> chord;
            std::function<bool()> done; // differs from the state the row before left
        } rows[] = {
            {"Right", {right}, [&] { return left() == 21; }},
            {"]", {bracketRight}, [&] { return width() == 6; }},
            {"[", {bracketLeft}, [&] { return width() == 5; }},
            {"Delete", {del}, [&] { return state().annotations().isEmpty(); }},
            {"Ctrl+Z", {control, z}, [&] { return width() == 5; }},
            {"Ctrl+Shift+Z", {control, shift, z}, [&] { return state().annotations().isEmpty(); }},
            {"Ctrl+V", {control, v}, [&] { return state().annotations().size() == 1; }},
            {"Ctrl+=", {control, equal}, [&] { return zoom() == fitted * 2; }},
            {"Ctrl+= again", {control, equal}, [&] { return zoom() == fitted * 4; }},
            {"Ctrl+-", {control, minus}, [&] { return zoom() == fitted * 2; }},
            {"Ctrl+0", {control, zero}, [&] { return zoom() == 1; }},
            {"3", {three}, [&] { return state().tool() == AnnotationTool::rectangle; }},
            {"Ctrl+C", {control, c}, [&] { return window.isNull(); }},
        };
        for (const auto& row : rows) {
            x.chord(row.chord);
            // The rows build on each other: after a miss the later ones would prove nothing.
            if (!waitUntil(row.done)) {
                ADD_FAILURE() << row.key << " does nothing under " << layout << ", group " << group;
                break;
            }
        }
    }
}

TEST_F(EditorKeys, AHeldKeyIsOneUndoStep)
{
    // A short delay and a fast rate keep the holds short; the server repeats as it would for a person.
    ASSERT_EQ(runProcess(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("rate"), QStringLiteral("150"), QStringLiteral("50")}), 0);
    openWith("us", 0);
    int splitHolds = 0;
    for (int hold = 0; hold < 20; ++hold) {
        const bool bracket = hold % 2 == 0;
        const QString key = bracket ? QStringLiteral("bracketright") : QStringLiteral("Right");
        auto value = [&] { return bracket ? width() : left(); };
        state().setSelectedID(state().annotations()[0].id); // an undo leaves nothing selected
        const double before = value();
        ASSERT_EQ(runProcess(QStringLiteral("xdotool"), {QStringLiteral("keydown"), key}), 0);
        ASSERT_TRUE(waitUntil([&] { return value() >= before + 10; }, std::chrono::seconds(10))) << value();
        ASSERT_EQ(runProcess(QStringLiteral("xdotool"), {QStringLiteral("keyup"), key}), 0);
        // Repeats sent before the release may still be on their way; the undo comes after them all.
        x.chord({control, z});
        double highest = value();
        ASSERT_TRUE(waitUntil([&] { return value() < (highest = std::max(highest, value())); }));
        if (value() != before) {
            ++splitHolds;
            while (value() != before && state().canUndo())
                state().undo();
        }
    }
    EXPECT_EQ(splitHolds, 0) << "of 20 holds of ] and Right, these took more than one undo";
}

TEST_F(EditorKeys, TheKeysFollowALayoutChangedWhileRunning)
{
    openWith("us", 0);
    const double before = width();
    // The keys are first read under the opening layout; the others come while the editor is open.
    // Only a Latin group of another shape moves the keys: Dvorak's ] and Z sit elsewhere.
    const struct {
        const char* layout;
        const char* variant;
        int group;
        std::uint8_t bracket, z;
    } layouts[] = {
        {"us", "", 0, bracketRight, Code::z},
        {"ru,us", ",", 0, bracketRight, Code::z},
        {"ru,us", ",", 1, bracketRight, Code::z},
        {"ru,us", ",dvorak", 0, equal, slash},
        {"ru,us", ",dvorak", 1, equal, slash},
    };
    for (const auto& l : layouts) {
        const std::string name = std::string(l.layout) + " (" + l.variant + "), group " + std::to_string(l.group);
        if (&l != &layouts[0]) {
            ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QString::fromLatin1(l.layout),
                                                               QStringLiteral("-variant"), QString::fromLatin1(l.variant)}),
                      0);
            x.lockGroup(l.group);
            ASSERT_EQ(x.lockedGroup(), l.group);
        }
        x.chord({l.bracket});
        if (!waitUntil([&] { return width() == before + 1; })) {
            ADD_FAILURE() << "] does nothing under " << name;
            break; // the later rows would wait in vain
        }
        x.chord({control, l.z});
        if (!waitUntil([&] { return width() == before; })) {
            ADD_FAILURE() << "Ctrl+Z does nothing under " << name;
            break;
        }
        state().setSelectedID(state().annotations()[0].id); // an undo leaves nothing selected
    }
}
