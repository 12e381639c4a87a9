#include "editor/window/EditorExportWindow.h"

#include "editor/canvas/ColorFormatButton.h"
#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorView.h"
#include "panels/Theme.h"
#include "series/AppModel.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>

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
    // Qt's xcb layer already names Ctrl combinations by the key's first-group (Latin)
    // keysym, whichever group is active; the keys without Ctrl here are layout-free.
    return {editorKey(event.key(), held & Qt::KeypadModifier), modifiers, event.isAutoRepeat()};
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

EditorExportWindow::EditorExportWindow(std::unique_ptr<EditorState> state, AppModel& model, EditorShellHooks hooks,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window), state_(std::move(state)), model_(model), hooks_(std::move(hooks))
{
    setWindowTitle(QStringLiteral("Tarnwick · ") + state_->label());
    QPalette palette = Theme::darkPalette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.15f, 0.15f, 0.15f));
    setPalette(palette);
    setAutoFillBackground(true);
    setMinimumSize(minimumContentSize);
    QScreen* screen = QGuiApplication::primaryScreen();
    resize(contentSize(screen ? std::optional(screen->availableGeometry()) : std::nullopt));

    // The read-out starts in the remembered notation; a new choice is remembered.
    state_->cursorColor().setFormat(model.colorCodeFormat());
    state_->cursorColor().formatChanged = [appModel = QPointer<AppModel>(&model)](ColorCodeFormat format) {
        if (appModel)
            appModel->setColorCodeFormat(format);
    };

    const QPointer<EditorExportWindow> self(this);
    const auto finish = [self](bool save, bool prepare) {
        if (self && self->hooks_.finishEditor)
            self->hooks_.finishEditor(save, prepare);
    };
    actions_ = new EditorExportActions(
        *state_, model, [finish] { finish(false, true); },
        [self](std::function<void(std::optional<QString>)> completion) {
            if (!self)
                return completion(std::nullopt);
            if (self->hooks_.chooseImageSaveDirectory)
                self->hooks_.chooseImageSaveDirectory(std::move(completion));
            else
                self->chooseDirectoryWithDialog(std::move(completion));
        },
        [&model](const std::exception& error) { model.showError(error); }, &QRCodeRecognizer::recognize, this);

    const QPointer<EditorExportActions> actions(actions_);
    copyWithoutMarkersAndClose = [actions] {
        if (actions)
            actions->copyWithoutMarkers(true);
    };
    copyColorAndClose = [actions] {
        if (actions)
            actions->copyColorAndClose();
    };
    recognizeQR = [actions](const QRectF& rect) {
        if (actions)
            actions->readQRAndClose(rect);
    };

    EditorHeaderActions header;
    header.onSave = [finish] { finish(true, true); };
    header.onCancel = [finish] { finish(false, true); };
    header.onCopyWithoutMarkers = [actions] {
        if (actions)
            actions->copyWithoutMarkers(false);
    };
    header.onSaveWithoutMarkers = [actions] {
        if (actions)
            actions->saveAndClose();
    };
    header.onChooseSaveDirectory = [actions] {
        if (actions)
            actions->selectDirectory(false);
    };
    header.onAddScreenshot = [self](ScreenCaptureMode mode) {
        if (self && self->hooks_.addScreenshot)
            self->hooks_.addScreenshot(mode);
    };
    header.onImportImage = [self] {
        if (self && self->hooks_.importImage)
            self->hooks_.importImage();
    };
    view_ = new EditorView(*state_, &model, std::move(header), this);
    auto* canvas = new ImageCanvasView(*state_);
    connect(canvas, &ImageCanvasView::recognizeQRRequested, this, [this](const QRectF& area) {
        if (recognizeQR)
            recognizeQR(area);
    });
    connect(canvas, &ImageCanvasView::copyColorAndCloseRequested, this, [this] {
        if (copyColorAndClose)
            copyColorAndClose();
    });
    view_->setCanvas(canvas);
    view_->header()->setColorReadOut(new ColorFormatButton(state_->cursorColor()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    qApp->installEventFilter(this);
}

EditorExportWindow::~EditorExportWindow()
{
    qApp->removeEventFilter(this);
    // The views read the state to the last; they go before it.
    delete view_;
    view_ = nullptr;
    delete actions_;
}

QSize EditorExportWindow::contentSize(const std::optional<QRect>& availableArea)
{
    const QSize area = availableArea ? availableArea->size() : QSize(1440, 900);
    return {std::min(area.width() - 60, 1180), std::min(area.height() - 70, 790)};
}

void EditorExportWindow::copy()
{
    if (copyWithoutMarkersAndClose)
        copyWithoutMarkersAndClose();
}

void EditorExportWindow::closeFinished()
{
    closing_ = true;
    close();
}

void EditorExportWindow::closeEvent(QCloseEvent* event)
{
    if (closing_ || !hooks_.finishEditor) {
        event->accept();
        return;
    }
    // The close button commits like "В серию"; the shell closes us when it may.
    event->ignore();
    hooks_.finishEditor(true, !state_->copiedWithoutMarkers());
}

ImageCanvasView* EditorExportWindow::canvas() const { return view_ ? view_->canvas() : nullptr; }

bool EditorExportWindow::zoomCanvas(double factor)
{
    ImageCanvasView* view = canvas();
    if (!view)
        return false;
    view->zoomBy(factor);
    return true;
}

bool EditorExportWindow::resetCanvasZoom()
{
    ImageCanvasView* view = canvas();
    if (!view)
        return false;
    view->zoomTo(1);
    return true;
}

void EditorExportWindow::chooseDirectoryWithDialog(std::function<void(std::optional<QString>)> completion)
{
    auto* dialog = new QFileDialog(this);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Выбрать папку"));
    dialog->setWindowTitle(QStringLiteral("Выберите папку для снимков без маркировки. Tarnwick запомнит её для следующих сохранений."));
    if (model_.imageSaveDirectory())
        dialog->setDirectory(*model_.imageSaveDirectory());
    auto done = std::make_shared<std::function<void(std::optional<QString>)>>(std::move(completion));
    connect(dialog, &QFileDialog::finished, this, [dialog, done](int result) {
        const QStringList chosen = dialog->selectedFiles();
        auto run = std::exchange(*done, nullptr);
        if (run)
            run(result == QDialog::Accepted && !chosen.isEmpty() ? std::optional(chosen.first()) : std::nullopt);
    });
    // Closed with the editor: the completion still runs, with no folder.
    connect(dialog, &QObject::destroyed, [done] {
        if (auto run = std::exchange(*done, nullptr))
            run(std::nullopt);
    });
    dialog->open();
}

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
    context.pickingColor = context.canvasRegistered && state_->pickingColor();
    context.sheetOpen = onSheet;
    context.editingText = editsText(focus);
    context.colorCopyBound = bool(copyColorAndClose);
    context.copyBound = bool(copyWithoutMarkersAndClose);
    context.zoomBlocked = state_->showText() || state_->showComment() || state_->capturingImage();
    return routeEditorKey(keyPressOf(event), context);
}

bool EditorExportWindow::perform(EditorKeyCommand command)
{
    using C = EditorKeyCommand;
    switch (command) {
    case C::pass: return false;
    case C::consume: return true;
    case C::endPicking: state_->setPickingColor(false); return true;
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
