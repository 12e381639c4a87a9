#pragma once

#include "editor/window/EditorExportActions.h"
#include "editor/window/EditorKeyRouting.h"
#include "series/ScreenCaptureMode.h"

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QKeyEvent;
class QScreen;

namespace tarnwick {

class AppModel;
class EditorState;
class EditorView;
class ImageCanvasView;
class TextEditorPresenter;

// What the editor asks of the application shell.
struct EditorShellHooks {
    // Ends the editor: with `save` the edited shot goes into the series; the
    // shell refuses (beep) while a screen area is captured or, saving, while the
    // shot cannot be exported; on success it calls `closeFinished()`.
    std::function<void(bool save, bool prepareForPaste)> finishEditor;
    // Asks for the folder of unmarked images and calls the completion exactly
    // once (no folder on cancel). Unset: a folder dialog on the editor window.
    EditorExportActions::DirectoryChooser chooseImageSaveDirectory;
    // Adds a capture of an area or a window to the shot as an image layer.
    std::function<void(ScreenCaptureMode)> addScreenshot;
    // Lets the user pick image files to add as layers.
    std::function<void()> importImage;
};

// The editor's top-level window: it owns the session's state, the export
// actions and the root view, and routes the keys the whole window answers
// (Escape and Tab while picking, Tab to copy the colour, zoom, Ctrl+C to copy
// without markers and close, and the header's shortcuts) before any child, on
// the physical key. The close button asks the shell to finish with the edit
// put into the series. Destroy it with deleteLater(): it may be finished from
// inside its own key handling. GUI thread.
class EditorExportWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize minimumContentSize{850, 620};

    EditorExportWindow(std::unique_ptr<EditorState> state, AppModel& model, EditorShellHooks hooks, QWidget* parent = nullptr);
    ~EditorExportWindow() override;

    // The content size for a screen's available area: at most 1180 × 790, with a
    // margin of 60 × 70; without a screen, as for 1440 × 900.
    static QSize contentSize(const std::optional<QRect>& availableArea);
    // The least size for a screen's available area: minimumContentSize, less on a screen that
    // cannot hold it with the same margins (a 2× monitor of 1920 × 1080 offers 960 × 540),
    // down to leastContentSize, below which the toolbars and the footer no longer fit.
    static constexpr QSize leastContentSize{640, 400};
    static QSize minimumSizeFor(const QRect& availableArea);

    EditorState& state() const { return *state_; }
    EditorExportActions& actions() const { return *actions_; }
    EditorView& view() const { return *view_; }
    // The editor's canvas; the key routing and the zoom buttons reach it only here.
    ImageCanvasView* canvas() const;

    // Bound to the export actions at construction; the shell may rebind them.
    std::function<void()> copyWithoutMarkersAndClose;
    std::function<void()> copyColorAndClose;
    std::function<void(const QRectF&)> recognizeQR;

    // The standard copy action: copies without markers and closes.
    void copy();
    // Closes the window for good; the shell's finish calls it.
    void closeFinished();

    // Opens on `screen` at the content size of its usable area, centred there.
    void openOn(QScreen* screen);

    // Zooms the canvas by a factor within its range; false without a canvas.
    bool zoomCanvas(double factor);
    bool resetCanvasZoom();

    // The window's answer to a key press; pass lets the focused widget have it.
    EditorKeyCommand route(const QKeyEvent& event) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseDirectoryWithDialog(std::function<void(std::optional<QString>)> completion);
    // False when the command's control is disabled, so the key passes on.
    bool perform(EditorKeyCommand command);
    bool ownsWidget(const QWidget* widget, bool* onSheet) const;
    // The canvas is this window's keyboard unless the text or comment editor is open:
    // when one of them, or a capture for a layer, ends, the window comes forward with
    // the canvas focused; on activation, and when a widget of the window would take the
    // keys, one rule (keepKeysOnCanvas) hands them on.
    void followEditors();
    void keepKeysOnCanvas();

    std::unique_ptr<EditorState> state_;
    AppModel& model_;
    EditorShellHooks hooks_;
    EditorExportActions* actions_;
    EditorView* view_;
    TextEditorPresenter* textEditor_;
    bool closing_ = false;
    bool editorOpen_ = false;
};

} // namespace tarnwick
