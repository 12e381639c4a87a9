// The editor window's keys: the adapter between Qt's key events and routeEditorKey, and the
// rules that keep the keys on the canvas.

#include "editor/window/EditorExportWindow.h"

#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorView.h"
#include "platform/PhysicalKey.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>

namespace tarnwick {
namespace {

EditorKey editorKey(int key, bool keypad)
{
    switch (key) {
    case Qt::Key_Escape: return EditorKey::escape;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return EditorKey::tab;
    case Qt::Key_C: return EditorKey::c;
    case Qt::Key_V: return EditorKey::v;
    case Qt::Key_Z: return EditorKey::z;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return keypad ? EditorKey::keypadPlus : EditorKey::equal;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return keypad ? EditorKey::keypadMinus : EditorKey::minus;
    case Qt::Key_0:
    case Qt::Key_ParenRight: return keypad ? EditorKey::keypadZero : EditorKey::zero;
    case Qt::Key_Insert: return keypad ? EditorKey::keypadZero : EditorKey::other;
    case Qt::Key_Return:
    case Qt::Key_Enter: return EditorKey::enter;
    default: return EditorKey::other;
    }
}

EditorKeyPress keyPressOf(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers held = event.modifiers();
    std::uint8_t modifiers = 0;
    if (held & Qt::ShiftModifier)
        modifiers |= shiftKey;
    if (held & Qt::ControlModifier)
        modifiers |= controlKey;
    if (held & Qt::AltModifier)
        modifiers |= altKey;
    if (held & Qt::MetaModifier)
        modifiers |= superKey;
    // By position: Qt names a Ctrl combination by its Latin letter only when some group has one.
    return {editorKey(platform::physicalKey(event), held & Qt::KeypadModifier), modifiers, platform::isKeyRepeat(event)};
}

bool editsText(const QWidget* widget)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(widget))
        return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(widget))
        return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        return !plain->isReadOnly();
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(widget))
        return !spin->isReadOnly();
    return false;
}

} // namespace

bool EditorExportWindow::ownsWidget(const QWidget* widget, bool* onSheet) const
{
    const QWidget* top = widget ? widget->window() : nullptr;
    *onSheet = false;
    if (top == this)
        return true;
    // Dialogs on the editor (the comment sheet, folder choice) count as sheets.
    for (const QWidget* w = top ? top->parentWidget() : nullptr; w; w = w->parentWidget())
        if (w == this) {
            *onSheet = top->isModal() || top->windowModality() != Qt::NonModal;
            return *onSheet;
        }
    return false;
}

void EditorExportWindow::followEditors()
{
    const bool open = state_->text().isOpen() || state_->comment().isOpen() || state_->images().capturing();
    const bool closed = editorOpen_ && !open;
    editorOpen_ = open;
    // The editor's own window had the keys; this one comes forward for them.
    if (closed && isVisible() && !closing_) {
        activateWindow();
        keepKeysOnCanvas();
    }
}

void EditorExportWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Back from a dialog or another program: Qt gives the keys to the widget that had them, or
    // to the first one that takes them when none had.
    if (event->type() == QEvent::ActivationChange && QApplication::activeWindow() == this)
        QTimer::singleShot(0, this, [this] {
            if (QApplication::activeWindow() == this)
                keepKeysOnCanvas();
        });
}

void EditorExportWindow::keepKeysOnCanvas()
{
    // The canvas has the keys unless a text field of this window, or the text or comment editor,
    // has them.
    ImageCanvasView* view = canvas();
    // A text field counts only in this window: a font list's search left behind by a closed
    // panel is not where the user types.
    const QWidget* focus = QApplication::focusWidget();
    const bool typingHere = focus && focus->window() == this && editsText(focus);
    if (!view || !view->isEnabled() || closing_ || view->hasFocus() || typingHere || state_->text().isOpen()
        || state_->comment().isOpen())
        return;
    view->setFocus(Qt::OtherFocusReason);
}

EditorKeyCommand EditorExportWindow::route(const QKeyEvent& event) const
{
    bool onSheet = false;
    QWidget* focus = QApplication::focusWidget();
    if (!ownsWidget(focus ? focus : this, &onSheet))
        return EditorKeyCommand::pass;
    const QWidget* modal = QApplication::activeModalWidget();
    bool modalHere = false;
    if (modal && modal != this && ownsWidget(modal, &modalHere))
        onSheet = onSheet || modalHere;

    EditorKeyContext context;
    context.canvasRegistered = canvas() != nullptr;
    context.pickingColor = context.canvasRegistered && state_->style().pickingColor();
    context.sheetOpen = onSheet;
    context.editingText = editsText(focus);
    context.colorCopyBound = bool(copyColorAndClose);
    context.copyBound = bool(copyWithoutMarkersAndClose);
    context.zoomBlocked = state_->text().isOpen() || state_->comment().isOpen() || state_->images().capturing();
    return routeEditorKey(keyPressOf(event), context);
}

bool EditorExportWindow::perform(EditorKeyCommand command)
{
    using C = EditorKeyCommand;
    switch (command) {
    case C::pass: return false;
    case C::consume: return true;
    case C::endPicking: state_->style().setPickingColor(false); return true;
    case C::copyColorAndClose:
        // The colour under the pointer now, not an older sample.
        if (ImageCanvasView* view = canvas(); view && view->cursorPoint())
            view->updateCursorColor(*view->cursorPoint());
        if (copyColorAndClose)
            copyColorAndClose();
        return true;
    case C::zoomIn: return zoomCanvas(2);
    case C::zoomOut: return zoomCanvas(0.5);
    case C::zoomReset: return resetCanvasZoom();
    case C::copyWithoutMarkersAndClose: copy(); return true;
    case C::undo: return view_->header()->undo();
    case C::redo: return view_->header()->redo();
    case C::pasteImage: return view_->header()->pasteImage();
    case C::saveToSeries: return view_->header()->save();
    }
    return false;
}

bool EditorExportWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !watched->isWidgetType())
        return false;
    // Keys reach the focus widget first; the window decides before it.
    if (watched != QApplication::focusWidget() && !(watched == this && !QApplication::focusWidget()))
        return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const EditorKeyCommand command = route(key);
    if (command == EditorKeyCommand::pass)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Claims the key, so no shortcut of a child takes it; the press follows.
        event->accept();
        return true;
    }
    const QPointer<EditorExportWindow> self(this);
    const bool done = perform(command);
    return done || !self;
}

} // namespace tarnwick
