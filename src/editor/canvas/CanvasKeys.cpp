// The canvas's keyboard. Keys are matched on the physical key, so the brackets,
// digits and Ctrl+V work whichever layout is active; Command is Ctrl here.

#include "editor/canvas/ImageCanvasView.h"

#include "platform/PhysicalKey.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

namespace tarnwick {

namespace {

constexpr Qt::KeyboardModifiers anyModifier = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
constexpr Qt::KeyboardModifiers commandKeys = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isArrow(int key) { return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down; }

// The toolbar's digit of each tool strip entry: entry n - 1 has digit n.
std::optional<AnnotationTool> toolOfDigit(int digit)
{
    if (digit < 1 || digit > int(toolbarTools().size()))
        return std::nullopt;
    return toolbarTools()[std::size_t(digit - 1)];
}

} // namespace

bool ImageCanvasView::handleZoomKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & anyModifier;
    if (!mods.testFlag(Qt::ControlModifier) || mods & (Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (state_.text().isOpen() || state_.comment().isOpen() || state_.images().capturing())
        return false;
    const int key = platform::physicalKey(event);
    const bool shift = mods.testFlag(Qt::ShiftModifier);
    double zoom;
    if (key == Qt::Key_Equal || key == Qt::Key_Plus)
        zoom = state_.navigation().zoom * 2;
    else if (key == Qt::Key_Minus && !shift)
        zoom = state_.navigation().zoom * 0.5;
    else if (key == Qt::Key_0 && !shift)
        zoom = 1;
    else
        return false;
    scrollRemainder_ = 0;
    zoomTo(zoom);
    return true;
}

void ImageCanvasView::closeStrokeEdit()
{
    if (!strokeKeyDown_)
        return;
    state_.endStrokeEdit();
    strokeKeyDown_.reset();
}

bool ImageCanvasView::strokeKey(int key, Qt::KeyboardModifiers modifiers)
{
    if ((key != Qt::Key_BracketLeft && key != Qt::Key_BracketRight) || modifiers)
        return false;
    if (state_.tool() == AnnotationTool::crop)
        return true;
    const std::optional<Annotation> selected = state_.selectedAnnotation();
    if (!supportsStroke(selected ? selected->kind : state_.drawingTool()))
        return true;
    if (draft_ || movingOriginal_ || panOrigin_)
        return true;
    if (strokeKeyDown_ != key) {
        closeStrokeEdit();
        state_.beginStrokeEdit();
        strokeKeyDown_ = key;
    }
    state_.style().setStrokeWidth(state_.style().displayedStrokeWidth() + (key == Qt::Key_BracketLeft ? -1 : 1));
    refreshEffects();
    update();
    return true;
}

bool ImageCanvasView::nudgeKey(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat)
{
    if (!isArrow(key) || modifiers & commandKeys)
        return false;
    const double step = modifiers.testFlag(Qt::ShiftModifier) ? 10 : 1;
    const double dx = key == Qt::Key_Left ? -step : key == Qt::Key_Right ? step : 0;
    const double dy = key == Qt::Key_Up ? -step : key == Qt::Key_Down ? step : 0;
    const bool continuing = autoRepeat && repeatingNudgeID_ && repeatingNudgeID_ == state_.selectedID();
    if (!state_.nudgeSelected(QSizeF(dx, dy), continuing))
        return false;
    repeatingNudgeID_ = state_.selectedID();
    refreshEffects();
    update();
    return true;
}

void ImageCanvasView::dropGesture()
{
    resetGesture();
    state_.qr().abandon();
    state_.cropping().cancel();
    state_.setSelectedID(std::nullopt);
    state_.style().syncToSelection();
    update();
}

bool ImageCanvasView::toolDigit(const QKeyEvent& event)
{
    // Shift turns a digit into another character, which is no tool key.
    const int key = platform::physicalKey(event);
    if (key < Qt::Key_0 || key > Qt::Key_9 || event.modifiers().testFlag(Qt::ShiftModifier))
        return false;
    const std::optional<AnnotationTool> tool = toolOfDigit(key - Qt::Key_0);
    if (!tool)
        return false;
    if (*tool == AnnotationTool::magnifier)
        state_.style().activateExtraTool(state_.style().extraTool());
    else
        state_.setTool(*tool);
    return true;
}

void ImageCanvasView::keyPressEvent(QKeyEvent* event)
{
    const int key = platform::physicalKey(*event);
    const Qt::KeyboardModifiers mods = event->modifiers() & anyModifier;
    event->accept();
    if (state_.style().pickingColor()) {
        if (key == Qt::Key_Escape) {
            state_.style().setPickingColor(false);
            update();
            updateCursorShape();
        } else {
            handleZoomKey(*event);
        }
        return;
    }
    if (state_.text().isOpen() || state_.comment().isOpen() || state_.images().capturing() || handleZoomKey(*event))
        return;
    if (strokeKey(key, mods))
        return;
    closeStrokeEdit();

    if (key == Qt::Key_Tab && !mods) {
        if (cursorPoint_)
            updateCursorColor(*cursorPoint_);
        emit copyColorAndCloseRequested();
        return;
    }
    if (key == Qt::Key_Space && !(mods & commandKeys)) {
        spaceDown_ = true;
        update();
        updateCursorShape();
        return;
    }
    if (nudgeKey(key, mods, platform::isKeyRepeat(*event)))
        return;
    if (key == Qt::Key_V && mods.testFlag(Qt::ControlModifier)) {
        paste();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && state_.cropping().pending()) {
        state_.cropping().apply();
        refreshEffects();
        update();
        return;
    }
    if (key == Qt::Key_Escape) {
        dropGesture();
        return;
    }
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        if (state_.cropping().pending()) {
            state_.cropping().cancel();
            update();
        } else if (const std::optional<QUuid> id = state_.selectedID()) {
            state_.remove(*id);
        }
        return;
    }
    if (toolDigit(*event))
        return;
    event->ignore();
    QWidget::keyPressEvent(event);
}

void ImageCanvasView::keyReleaseEvent(QKeyEvent* event)
{
    // Without detectable auto-repeat the server sends a release before each repeat.
    if (event->isAutoRepeat())
        return event->accept();
    const int key = platform::physicalKey(*event);
    if (strokeKeyDown_ && *strokeKeyDown_ == key) {
        closeStrokeEdit();
    } else if (key == Qt::Key_Space) {
        spaceDown_ = false;
        update();
        updateCursorShape();
    } else if (isArrow(key)) {
        repeatingNudgeID_.reset();
    } else {
        return QWidget::keyReleaseEvent(event);
    }
    event->accept();
}

void ImageCanvasView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    closeStrokeEdit();
    spaceDown_ = false;
    panOrigin_.reset();
    update();
    updateCursorShape();
}

bool ImageCanvasView::focusNextPrevChild(bool)
{
    return false; // Tab belongs to the colour read-out
}

void ImageCanvasView::paste()
{
    QClipboard* clipboard = clipboard_ ? clipboard_ : QGuiApplication::clipboard();
    state_.images().paste(clipboard ? clipboard->mimeData() : nullptr);
    refreshEffects();
    update();
}

} // namespace tarnwick
