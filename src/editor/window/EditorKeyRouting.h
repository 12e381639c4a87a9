#pragma once

#include <cstdint>
#include <optional>

namespace tarnwick {

// The keys the editor window acts on, by their place on the keyboard (the key
// that types it in the first layout group), so they work with any layout active.
enum class EditorKey { other, escape, tab, c, v, z, equal, minus, zero, keypadPlus, keypadMinus, keypadZero, enter };

// Ctrl stands where the macOS Command key stood, Super where Control stood.
enum EditorKeyModifier : std::uint8_t { shiftKey = 1, controlKey = 2, altKey = 4, superKey = 8 };

struct EditorKeyPress {
    EditorKey key = EditorKey::other;
    std::uint8_t modifiers = 0; // EditorKeyModifier bits; lock keys never count
    bool autoRepeat = false;
};

// What the window is doing when the key arrives.
struct EditorKeyContext {
    bool pickingColor = false;   // the canvas is picking a colour
    bool sheetOpen = false;      // the comment sheet or a file dialog sits on the window
    bool editingText = false;    // an editable text field has the keyboard focus
    bool colorCopyBound = false; // the Tab action is set
    bool copyBound = false;      // the Ctrl+C action is set
    bool canvasRegistered = false;
    bool zoomBlocked = false;    // the text or comment editor is open, or a screen area is being captured
};

enum class EditorKeyCommand {
    pass,          // the focused widget and Qt's own handling get the key
    consume,       // swallowed, nothing happens
    endPicking,
    copyColorAndClose,
    zoomIn,
    zoomOut,
    zoomReset,
    copyWithoutMarkersAndClose,
    undo,
    redo,
    pasteImage,
    saveToSeries,
};

// The window's decision for one key press, before any child sees it.
EditorKeyCommand routeEditorKey(const EditorKeyPress& press, const EditorKeyContext& context);

} // namespace tarnwick
