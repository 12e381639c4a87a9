#pragma once

#include "editor/model/EditorBackgroundRemoval.h"
#include "editor/model/EditorCommentDraft.h"
#include "editor/model/EditorCropping.h"
#include "editor/model/EditorEffectStatus.h"
#include "editor/model/EditorImageLayers.h"
#include "editor/model/EditorQRReading.h"
#include "editor/model/EditorStyle.h"
#include "editor/model/EditorTextDraft.h"
#include "render/ScreenshotComposition.h"
#include "series/Annotation.h"
#include "series/ColorCode.h"
#include "series/Geometry.h"
#include "series/Screenshot.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

// A new element of a kind at a point, every other field neutral.
Annotation freshAnnotation(AnnotationTool kind, const QPointF& point);

// The model of one editing session: one shot of the series with everything the
// editor shows and every edit the user makes. The canvas, the window and the tool
// panels read it and change it only through these methods and those of its
// members (style, cropping, image layers, jobs, drafts), which it owns.
//
// GUI thread only. The model's own reactions to a property change run at once and
// in a fixed order; views listen to `changed()`, emitted once per event-loop turn
// after any number of changes, so they never see half an operation. `changedNow()`
// fires synchronously after every single change, for the few callers that must
// not wait a turn.
//
// The document is shot + annotations + crop + canvas + crop basis; undo and redo
// restore whole snapshots of it, which share the pixels of its images.
// Coordinates are image pixels of the shot, origin top left, y down.
class EditorState : public QObject {
    Q_OBJECT
public:
    static constexpr int noticeDelayMs = 4000;

    EditorState(const Screenshot& shot, const QString& label, QObject* parent = nullptr);
    ~EditorState() override;

    // Constants of the session.
    const QString& label() const { return label_; }
    CursorColorState& cursorColor() { return *cursorColor_; }

    // The document.
    const Screenshot& shot() const { return shot_; }
    const QVector<Annotation>& annotations() const { return annotations_; }
    const std::optional<QRectF>& cropRect() const { return cropRect_; }
    // Copies the crop into the shot (rounding its corners anew when it has a radius).
    void setCropRect(const std::optional<QRectF>& crop);
    const QRectF& canvasRect() const { return canvasRect_; }
    const std::optional<QRectF>& cropBasisRect() const { return cropBasisRect_; }

    // Canvas navigation, stored for the canvas.
    const CanvasNavigation& navigation() const { return navigation_; }
    void setNavigation(const CanvasNavigation& navigation);

    // Tool and style.
    AnnotationTool tool() const { return tool_; }
    // A different tool ends picking, a pending crop selection, a QR read and the
    // background-removal notice; any tool but select clears the selection.
    void setTool(AnnotationTool tool);
    // Colour, kinds and widths: the selection's while there is one, else the drawing style.
    EditorStyle& style() { return style_; }
    const EditorStyle& style() const { return style_; }
    const std::optional<QUuid>& selectedID() const { return selectedID_; }
    // Re-syncs the style to the new selection.
    void setSelectedID(const std::optional<QUuid>& id);

    // The crop tool's selection and the crops of the visible area and of image layers.
    EditorCropping& cropping() { return cropping_; }
    const EditorCropping& cropping() const { return cropping_; }

    // Image layers and jobs.
    // Inserting images, their notice, and the controls of the selected layer or the shot.
    EditorImageLayers& images() { return images_; }
    const EditorImageLayers& images() const { return images_; }
    // The background removal, applied as one undo step.
    EditorBackgroundRemoval& backgroundRemoval() { return backgroundRemoval_; }
    const EditorBackgroundRemoval& backgroundRemoval() const { return backgroundRemoval_; }
    // The QR read and its notice.
    EditorQRReading& qr() { return qr_; }
    const EditorQRReading& qr() const { return qr_; }

    // The effects as the canvas last saw them.
    EditorEffectStatus& effects() { return effects_; }
    const EditorEffectStatus& effects() const { return effects_; }

    // Comment and text drafts.
    EditorCommentDraft& comment() { return comment_; }
    const EditorCommentDraft& comment() const { return comment_; }
    EditorTextDraft& text() { return text_; }
    const EditorTextDraft& text() const { return text_; }

    // Set by the window after a copy without markers; every recorded step clears it.
    bool copiedWithoutMarkers() const { return copiedWithoutMarkers_; }
    void setCopiedWithoutMarkers(bool copied);
    // Raised by every recorded step, undo and redo.
    int historyRevision() const { return historyRevision_; }

    // History.
    // Records one undo step of the current document (closing an open stroke edit first).
    void checkpoint();
    // The whole list as one undo step; nothing is recorded when it equals the current one.
    void replace(const QVector<Annotation>& annotations);
    // With a pending crop selection undo only cancels it and redo does nothing.
    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;

    // Derived values, computed on every read.
    Screenshot editedShot() const;
    // Effects ready and no error, no editor open, no selection, capture or job running, not picking.
    bool canExport() const;
    QSizeF outputSize() const;
    RenderScene scene() const;
    // The elements that show in the crop (all of them without one), bottom first.
    QVector<Annotation> effectiveAnnotations() const;
    // The elements as the canvas draws them: with the text being written shown live.
    QVector<Annotation> previewAnnotations() const;

    // Canvas geometry, all pure. The box one element occupies on the canvas;
    // comments measure their marker against `markerSize` (the visible area when absent).
    QRectF canvasBounds(const Annotation& annotation, const std::optional<QSizeF>& markerSize,
                        bool includeLensSource) const;
    // The canvas and the crop as they would be with `replacing` standing in for its
    // namesake (or added); the current elements when absent.
    QRectF canvasFrame(const std::optional<Annotation>& replacing = std::nullopt) const;
    QRectF viewportFrame(const std::optional<Annotation>& replacing = std::nullopt) const;

    // Brings canvas and crop up to date after elements changed; `id` counts even when untracked.
    void reflowCanvas(const std::optional<QUuid>& id);

    // Tools, styles and the selection.
    std::optional<Annotation> selectedAnnotation() const;
    // The kind a new element drawn with the current tool gets.
    AnnotationTool drawingTool() const;
    // A slider drag or a held key between these two is one undo step, none when nothing changed.
    void beginStrokeEdit();
    void endStrokeEdit();
    // Arrow keys; `continuing` joins the step of the previous call. False when it cannot move.
    bool nudgeSelected(const QSizeF& offset, bool continuing);
    // Appends and selects a new element (one step); with `expandingCanvas` the canvas grows for it.
    void add(const Annotation& annotation, bool expandingCanvas);
    // Stores a moved or resized element in place of its namesake; nothing when unchanged.
    void transform(const Annotation& annotation, bool expandingCanvas, bool recordHistory);
    void remove(const QUuid& id);
    void scaleMagnifier(double factor);


    // An id for the window's read when the qr tool may read now; nothing otherwise.
    std::optional<QUuid> beginQRRecognition();

signals:
    // Once per event-loop turn after any change.
    void changed();
    // After every single change, synchronously.
    void changedNow();

private:
    friend class EditorBackgroundRemoval;
    friend class EditorCommentDraft;
    friend class EditorCropping;
    friend class EditorImageLayers;
    friend class EditorStyle;
    friend class EditorTextDraft;

    struct EditSnapshot {
        Screenshot shot;
        QVector<Annotation> annotations;
        std::optional<QRectF> cropRect;
        QRectF canvasRect;
        std::optional<QRectF> cropBasisRect;
    };

    template <typename T>
    bool assign(T& field, const T& value);
    void touch();
    EditSnapshot snapshot() const;
    void restore(const EditSnapshot& snapshot);
    void setShot(const Screenshot& shot);
    void setAnnotations(const QVector<Annotation>& annotations);
    void markEdited();
    // Position of the first element with this id; -1 when none has it.
    qsizetype indexOf(const QUuid& id) const;
    double defaultStrokeWidth() const;
    // The picture is drawn as it stands: no render error, no effect still computing or failed.
    bool pictureReady() const;
    QRectF visibleArea() const;

    // Stores a list within a running stroke edit, recording no step.
    void storeContinuing(const QVector<Annotation>& list);

    // The part of the shot's image in view: all of it, or what the crop leaves.
    static QRectF imageFrame(const QSizeF& pixelSize, const std::optional<QRectF>& crop);
    // A new composition over the shot's image, its corners rounded within the visible frame.
    void recompose(Screenshot& shot) const;

    const QString label_;
    std::unique_ptr<CursorColorState> cursorColor_;
    CanvasNavigation navigation_;
    QVector<Annotation> annotations_;
    AnnotationTool tool_ = AnnotationTool::arrow;
    std::optional<QUuid> selectedID_;
    std::optional<QRectF> cropRect_;
    QRectF canvasRect_;
    EditorEffectStatus effects_{[this] { touch(); }};
    bool copiedWithoutMarkers_ = false;
    EditorQRReading qr_{[this] { touch(); }};
    int historyRevision_ = 0;
    Screenshot shot_;

    QVector<EditSnapshot> undoStack_;
    QVector<EditSnapshot> redoStack_;
    std::optional<EditSnapshot> strokeEditBaseline_;
    EditorBackgroundRemoval backgroundRemoval_{*this};
    EditorCommentDraft comment_{*this};
    EditorCropping cropping_{*this};
    EditorImageLayers images_{*this};
    EditorStyle style_{*this};
    EditorTextDraft text_{*this};
    std::optional<QRectF> cropBasisRect_;

    bool changeQueued_ = false;
};

namespace modelValues {
// Exact equality for the model's fields: Qt's own on geometry is fuzzy.
inline bool equal(const QRectF& a, const QRectF& b) { return geo::same(a, b); }
inline bool equal(const QPointF& a, const QPointF& b) { return geo::same(a, b); }
template <typename T>
bool equal(const T& a, const T& b) { return a == b; }
template <typename T>
bool equal(const std::optional<T>& a, const std::optional<T>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || equal(*a, *b);
}
} // namespace modelValues

template <typename T>
bool EditorState::assign(T& field, const T& value)
{
    if (modelValues::equal(field, value))
        return false;
    field = value;
    touch();
    return true;
}

} // namespace tarnwick
