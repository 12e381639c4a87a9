#include "editor/window/EditorExportWindow.h"

#include "editor/canvas/ColorFormatButton.h"
#include "editor/canvas/ImageCanvasView.h"
#include "editor/model/EditorState.h"
#include "editor/tools/EditorPalette.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/window/EditorHeader.h"
#include "editor/window/EditorView.h"
#include "panels/FileDialogs.h"
#include "panels/Theme.h"
#include "platform/RoomScrollArea.h"
#include "platform/UsableArea.h"
#include "platform/WindowPlacement.h"
#include "series/AppModel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {

EditorExportWindow::EditorExportWindow(std::unique_ptr<EditorState> state, AppModel& model, EditorShellHooks hooks,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window), state_(std::move(state)), model_(model), hooks_(std::move(hooks))
{
    setWindowTitle(QStringLiteral("Tarnwick · ") + state_->label());
    QPalette palette = Theme::darkPalette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.15f, 0.15f, 0.15f));
    setPalette(palette);
    setAutoFillBackground(true);
    QScreen* screen = QGuiApplication::primaryScreen();
    platform::WindowPlacement& placement = platform::WindowPlacement::of(*this);
    // The least size follows the screen the window is on.
    placement.onRoomChanged = [this, &placement] { placement.setLeast(minimumSizeFor(placement.usableArea())); };
    placement.setLeast(screen ? minimumSizeFor(platform::usableArea(*screen)) : minimumContentSize);
    placement.ask(contentSize(screen ? std::optional(platform::usableArea(*screen)) : std::nullopt));

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
        [&model](const std::exception& error) { model.showError(error); }, {}, this);

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
    // The text editor's panel comes and goes with the model's text editor, beside this window.
    textEditor_ = new TextEditorPresenter(*state_, this);
    textEditor_->setParentWindow(this);
    textEditor_->setCanvas(canvas);
    textEditor_->customColorSlot = [](EditorState& s, QWidget* parent) { return new CustomColorSlot(s, 4, parent); };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Below the least size its toolbars, header and footer fit in, the view scrolls.
    view_->setMinimumSize(leastContentSize);
    layout->addWidget(new platform::RoomScrollArea(view_));

    // After the view's and the text panel's own refreshes: the canvas is enabled again by then.
    connect(state_.get(), &EditorState::changed, this, &EditorExportWindow::followEditors);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // The window itself routes the keys it answers; the text panel, the comment sheet and
        // dialogs are windows of their own.
        if (now && now != this && now->window() == this)
            keepKeysOnCanvas();
        // The keys dropped to nothing (a closing window took them along) while this window is
        // the one in front: the same rule, once the closing is over.
        if (!now)
            QTimer::singleShot(0, this, [this] {
                if (!QApplication::focusWidget() && QApplication::activeWindow() == this)
                    keepKeysOnCanvas();
            });
    });
    qApp->installEventFilter(this);
}

EditorExportWindow::~EditorExportWindow()
{
    qApp->removeEventFilter(this);
    // ~QWidget moves the focus on, when this is no longer an editor window to keep it for.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    // The views read the state to the last; they go before it.
    delete textEditor_;
    delete view_;
    view_ = nullptr;
    delete actions_;
}

QSize EditorExportWindow::contentSize(const std::optional<QRect>& availableArea)
{
    const QSize area = availableArea ? availableArea->size() : QSize(1440, 900);
    return {std::min(area.width() - 60, 1180), std::min(area.height() - 70, 790)};
}

QSize EditorExportWindow::minimumSizeFor(const QRect& availableArea)
{
    const QSize room = contentSize(availableArea);
    return minimumContentSize.boundedTo(room).expandedTo(leastContentSize);
}

void EditorExportWindow::openOn(QScreen* screen)
{
    platform::WindowPlacement& placement = platform::WindowPlacement::of(*this);
    placement.setPlace(platform::WindowPlacement::Place::centredOn(screen));
    const QRect area = platform::usableArea(*screen);
    placement.setLeast(minimumSizeFor(area));
    placement.ask(contentSize(area));
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
    QFileDialog* dialog = makeFolderDialog(
        this, QStringLiteral("Папка для снимков"),
        QStringLiteral("Выберите папку для снимков без маркировки. Tarnwick запомнит её для следующих сохранений."),
        QStringLiteral("Выбрать папку"), model_.imageSaveDirectory().value_or(QString()));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
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

} // namespace tarnwick
