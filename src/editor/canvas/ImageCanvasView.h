#pragma once

#include "editor/canvas/CursorColorSampler.h"
#include "editor/model/EditorState.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QUuid>
#include <QWidget>
#include <memory>
#include <optional>

class QClipboard;

namespace tarnwick {

class ScreenshotEffects;

// The editor's drawing surface: the shot with its annotations through the
// renderer, scaled and panned inside the part of the widget the window's chrome
// leaves free, with the canvas's own overlays (crop frame, QR area, border,
// brush ring) on top. Turns mouse, wheel, pinch and keys into EditorState calls.
//
// GUI thread only. Reads the model on every paint and keeps no copy of the
// document; repaints after the model's coalesced changed(). The owner (the
// editor window) connects recognizeQRRequested and copyColorAndCloseRequested,
// sets the insets, and forwards its zoom buttons to zoomBy().
class ImageCanvasView : public QWidget {
    Q_OBJECT
public:
    // `clipboard` is what Ctrl+V reads; the application's clipboard when null.
    explicit ImageCanvasView(EditorState& state, QClipboard* clipboard = nullptr, QWidget* parent = nullptr);
    ~ImageCanvasView() override;

    EditorState& state() const { return state_; }

    // View points the window's chrome covers at the bottom and the left.
    void setInsets(double bottom, double left);
    double bottomInset() const { return bottomInset_; }
    double leftInset() const { return leftInset_; }

    // Moves this view's observer to the scene's current effect engine, starts the
    // missing effects and publishes their readiness to the model on the next turn.
    void refreshEffects();

    // Zoom (clamped to 1…32) keeping the content point under `anchor` (view
    // points) still; about the centre of the content without one or when the
    // anchor is off the image. Refused during a gesture and while an editor is open.
    void zoomTo(double zoom, const std::optional<QPointF>& anchor = std::nullopt);
    // The window's zoom buttons: the current zoom times `factor`, about the centre.
    void zoomBy(double factor);
    // Ctrl with =, +, -, 0 (also on the keypad); true when the key was taken.
    bool handleZoomKey(const QKeyEvent& event);
    // Inserts the clipboard's images as layers.
    void paste();

    // The last pointer position over the view (view points), nothing while it is outside.
    const std::optional<QPointF>& cursorPoint() const { return cursorPoint_; }
    // Reads the colour of the rendered shot at a view point into the model's read-out.
    void updateCursorColor(const QPointF& point);

    // Geometry of the current frame, in view points and canvas pixels.
    QRectF contentFrame() const;
    QRectF imageRect() const;
    QRectF previewCanvas() const;
    QRectF previewViewport() const;
    double brushDiameter() const;
    std::optional<QRectF> brushPreviewRect() const;
    // Whether the running gesture may grow the canvas.
    bool expandingGesture() const;
    // The element the running gesture creates or reshapes, not yet in the model.
    const std::optional<Annotation>& draft() const { return draft_; }
    bool spaceDown() const { return spaceDown_; }

signals:
    // A QR area chosen with the qr tool, in image pixels.
    void recognizeQRRequested(const QRectF& area);
    // Tab: the colour under the pointer has just been read; copy it and close.
    void copyColorAndCloseRequested();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void publishReadiness();
    void updateCursorShape();
    void setCursorPoint(const std::optional<QPointF>& point);
    QRectF brushDamage(const QPointF& center) const;
    QRectF visibleRect() const;
    // Drawing.
    void paintContent(QPainter& painter, const QRect& dirty, const QRectF& ir);
    void paintOverlays(QPainter& painter, double s);
    QVector<Annotation> drawnAnnotations() const;

    // Pointer gestures.
    void press(QMouseEvent* event, int clickCount);
    void drag(const QPointF& p, Qt::KeyboardModifiers modifiers);
    std::optional<QPointF> pixelPoint(const QPointF& p, bool clamped, bool allowOutside) const;
    // View points to canvas pixels at the current (not the frozen) mapping.
    double toleranceScale() const;
    void updateFreehand(const QPointF& q, Qt::KeyboardModifiers modifiers);
    void commitDraft(const QPointF& p);
    void resetGesture();
    void moveGrabbed(const QPointF& q);
    // Asks for the repaint of one drag frame: the element's boxes when nothing else changes.
    void damageDraft(const std::optional<Annotation>& before, const QRectF& shownBefore);
    // The boxes (image pixels) of the blurs above an element whose picture changes
    // when it goes from `from` to `to`; an empty box for none, nothing when any may.
    std::optional<QRectF> blursMovedBy(const Annotation& from, const Annotation& to) const;
    void startElement(const QPointF& q, Qt::KeyboardModifiers modifiers);

    // Keys.
    bool strokeKey(int key, Qt::KeyboardModifiers modifiers);
    void closeStrokeEdit();
    bool nudgeKey(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat);
    bool toolDigit(const QKeyEvent& event);
    void dropGesture();

    EditorState& state_;
    QClipboard* clipboard_;
    double bottomInset_ = 0;
    double leftInset_ = 0;
    CursorColorSampler colorSampler_;
    bool colorQueued_ = false;
    std::optional<QPointF> cursorPoint_;
    bool spaceDown_ = false;
    std::optional<QPointF> panOrigin_;
    QSizeF initialPan_{0, 0};
    double scrollRemainder_ = 0;
    std::weak_ptr<ScreenshotEffects> observedEffects_;
    std::optional<Annotation> draft_;
    std::optional<QPointF> dragOrigin_;
    std::optional<Annotation> movingOriginal_;
    std::optional<AnnotationHandle> activeHandle_;
    bool movingMagnifierSource_ = false;
    std::optional<QRectF> dragImageRect_;
    std::optional<QRectF> dragViewport_;
    std::optional<QUuid> repeatingNudgeID_;
    std::optional<int> strokeKeyDown_;
    std::optional<QPointF> straightStrokeAnchor_;
    QVector<QPointF> straightStrokePrefix_;
    const QUuid observerID_ = QUuid::createUuid();
    bool readinessQueued_ = false;
    // The renderer paints with Source composition, so the shot goes through a
    // transparent layer before it lands on the checkerboard; kept between frames.
    QImage layer_;
    // The shadow under the image, blurred once per image size.
    QImage shadow_;
    QSize shadowFor_;
};

} // namespace tarnwick
