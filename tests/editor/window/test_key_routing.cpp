#include "editor/window/EditorKeyRouting.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using K = EditorKey;
using C = EditorKeyCommand;

namespace {

struct Row {
    const char* what;
    EditorKeyPress press;
    EditorKeyContext context;
    C expected;
};

// The editor as it mostly is: both actions bound, a canvas, nothing open.
EditorKeyContext plain() { return {false, false, false, true, true, true, false}; }
EditorKeyContext with(void (*change)(EditorKeyContext&))
{
    EditorKeyContext c = plain();
    change(c);
    return c;
}

} // namespace

TEST(EditorKeyRouting, Table)
{
    const auto picking = with([](EditorKeyContext& c) { c.pickingColor = true; });
    const auto sheet = with([](EditorKeyContext& c) { c.sheetOpen = true; });
    const auto text = with([](EditorKeyContext& c) { c.editingText = true; });
    const auto noTab = with([](EditorKeyContext& c) { c.colorCopyBound = false; });
    const auto noCopy = with([](EditorKeyContext& c) { c.copyBound = false; });
    const auto noCanvas = with([](EditorKeyContext& c) { c.canvasRegistered = false; });
    const auto editorOpen = with([](EditorKeyContext& c) { c.zoomBlocked = true; });
    const std::uint8_t ctrl = controlKey;

    const Row rows[] = {
        {"Escape ends picking", {K::escape, 0}, picking, C::endPicking},
        {"Tab while picking does nothing", {K::tab, ctrl}, picking, C::consume},
        {"other keys while picking go on", {K::c, ctrl}, picking, C::copyWithoutMarkersAndClose},
        {"Escape without picking is the canvas's", {K::escape, 0}, plain(), C::pass},
        {"a sheet takes Ctrl+C", {K::c, ctrl}, sheet, C::pass},
        {"a sheet takes Tab", {K::tab, 0}, sheet, C::pass},
        {"a sheet takes zoom", {K::equal, ctrl}, sheet, C::pass},
        {"a text field copies its text", {K::c, ctrl}, text, C::pass},
        {"Tab copies the colour", {K::tab, 0}, plain(), C::copyColorAndClose},
        {"Shift+Tab does not", {K::tab, shiftKey}, plain(), C::pass},
        {"Super+Tab does not", {K::tab, superKey}, plain(), C::pass},
        {"Tab unbound falls through", {K::tab, 0}, noTab, C::pass},
        {"Ctrl+= zooms in", {K::equal, ctrl}, plain(), C::zoomIn},
        {"Ctrl+Shift+= zooms in", {K::equal, ctrl | shiftKey}, plain(), C::zoomIn},
        {"Ctrl+keypad + zooms in", {K::keypadPlus, ctrl}, plain(), C::zoomIn},
        {"Ctrl+keypad - zooms out", {K::keypadMinus, ctrl}, plain(), C::zoomOut},
        {"Ctrl+Shift+- is no zoom", {K::minus, ctrl | shiftKey}, plain(), C::pass},
        {"Ctrl+0 resets", {K::zero, ctrl}, plain(), C::zoomReset},
        {"Ctrl+Shift+keypad 0 is no zoom", {K::keypadZero, ctrl | shiftKey}, plain(), C::pass},
        {"Ctrl+Alt+= is no zoom", {K::equal, ctrl | altKey}, plain(), C::pass},
        {"no zoom without a canvas", {K::equal, ctrl}, noCanvas, C::pass},
        {"no zoom with an editor open", {K::zero, ctrl}, editorOpen, C::pass},
        {"Ctrl+C copies and closes", {K::c, ctrl}, plain(), C::copyWithoutMarkersAndClose},
        {"Ctrl+Shift+C is not Ctrl+C", {K::c, ctrl | shiftKey}, plain(), C::pass},
        {"Ctrl+Alt+C is not Ctrl+C", {K::c, ctrl | altKey}, plain(), C::pass},
        {"Ctrl+Super+C is not Ctrl+C", {K::c, ctrl | superKey}, plain(), C::pass},
        {"Ctrl+C unbound falls through", {K::c, ctrl}, noCopy, C::pass},
        {"Ctrl+Z undoes", {K::z, ctrl}, plain(), C::undo},
        {"Ctrl+Shift+Z redoes", {K::z, ctrl | shiftKey}, plain(), C::redo},
        {"Ctrl+V pastes a layer", {K::v, ctrl}, plain(), C::pasteImage},
        {"Ctrl+Enter saves into the series", {K::enter, ctrl}, plain(), C::saveToSeries},
        {"plain Enter is the canvas's", {K::enter, 0}, plain(), C::pass},
        {"a held Ctrl+Enter saves once", {K::enter, ctrl, true}, plain(), C::consume},
        {"a held Ctrl+C copies once", {K::c, ctrl, true}, plain(), C::consume},
        {"a held Ctrl+Z keeps undoing", {K::z, ctrl, true}, plain(), C::undo},
        {"a held zoom key keeps zooming", {K::equal, ctrl, true}, plain(), C::zoomIn},
    };
    for (const Row& row : rows)
        EXPECT_EQ(routeEditorKey(row.press, row.context), row.expected) << row.what;
}
