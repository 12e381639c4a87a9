#include "editor/window/EditorKeyRouting.h"

namespace tarnwick {
namespace {

bool closes(EditorKeyCommand command)
{
    return command == EditorKeyCommand::copyColorAndClose || command == EditorKeyCommand::copyWithoutMarkersAndClose
        || command == EditorKeyCommand::saveToSeries;
}

std::optional<EditorKeyCommand> zoomCommand(const EditorKeyPress& press)
{
    const bool command = (press.modifiers & controlKey) && !(press.modifiers & (altKey | superKey));
    if (!command)
        return {};
    const bool shift = press.modifiers & shiftKey;
    switch (press.key) {
    case EditorKey::equal:
    case EditorKey::keypadPlus: return EditorKeyCommand::zoomIn;
    case EditorKey::minus:
    case EditorKey::keypadMinus: return shift ? std::nullopt : std::optional(EditorKeyCommand::zoomOut);
    case EditorKey::zero:
    case EditorKey::keypadZero: return shift ? std::nullopt : std::optional(EditorKeyCommand::zoomReset);
    default: return {};
    }
}

EditorKeyCommand route(const EditorKeyPress& press, const EditorKeyContext& context)
{
    if (context.pickingColor) {
        if (press.key == EditorKey::escape)
            return EditorKeyCommand::endPicking;
        if (press.key == EditorKey::tab)
            return EditorKeyCommand::consume;
    }
    if (context.sheetOpen || context.editingText)
        return EditorKeyCommand::pass;
    if (press.key == EditorKey::tab && press.modifiers == 0 && context.colorCopyBound)
        return EditorKeyCommand::copyColorAndClose;
    if (context.canvasRegistered && !context.zoomBlocked)
        if (auto zoom = zoomCommand(press))
            return *zoom;
    if (press.modifiers == controlKey) {
        switch (press.key) {
        case EditorKey::c: return context.copyBound ? EditorKeyCommand::copyWithoutMarkersAndClose : EditorKeyCommand::pass;
        case EditorKey::z: return EditorKeyCommand::undo;
        case EditorKey::v: return EditorKeyCommand::pasteImage;
        case EditorKey::enter: return EditorKeyCommand::saveToSeries;
        default: break;
        }
    }
    if (press.modifiers == (controlKey | shiftKey) && press.key == EditorKey::z)
        return EditorKeyCommand::redo;
    return EditorKeyCommand::pass;
}

} // namespace

EditorKeyCommand routeEditorKey(const EditorKeyPress& press, const EditorKeyContext& context)
{
    const EditorKeyCommand command = route(press, context);
    // A held key must not finish the editor twice, nor let Tab fall through to focus changes.
    if (press.autoRepeat && closes(command))
        return EditorKeyCommand::consume;
    return command;
}

} // namespace tarnwick
