#pragma once

#include "editor/window/EditorHeader.h"
#include "series/Annotation.h"

#include <QMargins>
#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace tarnwick {

class CanvasZoomButton;
class ImageCanvasView;
class EditorCommentSheet;
class EditorCommentsPanel;
class EditorFloatingToolbar;

// The editor window's content: header, canvas row with the notice bubble, the
// comments button and the comments panel, the footer with size, hint and zoom,
// and the comment sheet. Built once; refreshed from the model's coalesced
// `changed()`. Its own state is only whether the comments panel shows and the
// toolbar's orientation.
class EditorView : public QWidget {
    Q_OBJECT
public:
    EditorView(EditorState& state, AppModel* exportModel, EditorHeaderActions actions, QWidget* parent = nullptr);

    void refresh();

    // The canvas fills the canvas area; the bubble and the comments button float over it.
    void setCanvas(ImageCanvasView* canvas);
    ImageCanvasView* canvas() const { return canvas_; }
    // Room the canvas keeps free for the floating toolbar: left with a vertical
    // toolbar, bottom with a horizontal one (more while the comments panel shows).
    QMargins canvasInsets() const;

    bool commentsVisible() const { return commentsVisible_; }
    void setCommentsVisible(bool visible);
    bool verticalToolbar() const { return verticalToolbar_; }
    void setVerticalToolbar(bool vertical);

    EditorHeader* header() const { return header_; }
    EditorCommentsPanel* commentsPanel() const { return panel_; }
    EditorCommentSheet* commentSheet() const { return sheet_; }
    EditorFloatingToolbar* floatingToolbar() const { return toolbar_; }
    QWidget* canvasArea() const { return canvasArea_; }
    QLabel* notice() const { return notice_; }
    QToolButton* commentsButton() const { return commentsButton_; }
    QWidget* footer() const { return footer_; }
    QLabel* sizeLabel() const { return size_; }
    QPushButton* fitButton() const { return fit_; }
    QPushButton* percentButton() const { return percent_; }
    CanvasZoomButton* zoomOutButton() const { return zoomOut_; }
    CanvasZoomButton* zoomInButton() const { return zoomIn_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildFooter();
    void placeOverlays();
    void resetZoom();
    // The panel opens when the comment tool is chosen, a comment is selected, or
    // the number of comments changes to one or more; nothing here closes it.
    void followComments();

    EditorState& state_;
    EditorHeader* header_;
    QWidget* canvasArea_;
    QVBoxLayout* canvasSlot_;
    ImageCanvasView* canvas_ = nullptr;
    QLabel* notice_;
    QToolButton* commentsButton_;
    EditorCommentsPanel* panel_;
    QWidget* footer_ = nullptr;
    QLabel* size_ = nullptr;
    QPushButton* fit_ = nullptr;
    QPushButton* percent_ = nullptr;
    CanvasZoomButton* zoomOut_ = nullptr;
    CanvasZoomButton* zoomIn_ = nullptr;
    EditorCommentSheet* sheet_;
    EditorFloatingToolbar* toolbar_;

    bool commentsVisible_ = false;
    bool verticalToolbar_ = false;
    AnnotationTool seenTool_;
    std::optional<QUuid> seenSelection_;
    qsizetype seenComments_ = 0;
};

} // namespace tarnwick
