#include "editor/model/EditorState.h"

#include "series/Geometry.h"

#include <QMetaObject>
#include <algorithm>

namespace tarnwick {
void EditorState::touch()
{
    emit changedNow();
    if (changeQueued_)
        return;
    changeQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            changeQueued_ = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

EditorState::EditorState(const Screenshot& shot, const QString& label, QObject* parent)
    : QObject(parent), label_(label), cursorColor_(std::make_unique<CursorColorState>()), annotations_(shot.annotations),
      cropRect_(shot.cropRect()), canvasRect_(shot.canvasRect), shot_(shot),
      cropBasisRect_(shot.cropBasisRect ? shot.cropBasisRect : shot.cropRect())
{
    if (!shot_.composition)
        shot_.composition = std::make_shared<ScreenshotComposition>(shot_.image, shot_.pixelSize);
    style_.strokeWidth_ = defaultStrokeWidth();
}

EditorState::~EditorState() = default;

double EditorState::defaultStrokeWidth() const { return std::max(shot_.pixelSize.width() / 300, 3.0); }

QRectF EditorState::visibleArea() const { return cropRect_.value_or(canvasRect_); }

// Plain properties.

void EditorState::setNavigation(const CanvasNavigation& navigation)
{
    if (navigation.zoom == navigation_.zoom && geo::same(navigation.pan, navigation_.pan))
        return;
    navigation_ = navigation;
    touch();
}

void EditorState::setCopiedWithoutMarkers(bool copied) { assign(copiedWithoutMarkers_, copied); }

void EditorState::setShot(const Screenshot& shot)
{
    shot_ = shot;
    touch();
    backgroundRemoval_.validate();
}

void EditorState::setAnnotations(const QVector<Annotation>& annotations)
{
    if (!assign(annotations_, annotations))
        return;
    backgroundRemoval_.validate();
}

void EditorState::setCropRect(const std::optional<QRectF>& crop)
{
    assign(cropRect_, crop);
    const std::optional<QRectF>& own = shot_.cropRect();
    if (modelValues::equal(own, cropRect_))
        return;
    Screenshot copy = shot_;
    copy.setCropRect(cropRect_);
    setShot(copy);
}

qsizetype EditorState::indexOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < annotations_.size(); ++i)
        if (annotations_[i].id == id)
            return i;
    return -1;
}

// History.

EditorState::EditSnapshot EditorState::snapshot() const
{
    return EditSnapshot{shot_, annotations_, cropRect_, canvasRect_, cropBasisRect_};
}

void EditorState::markEdited()
{
    assign(copiedWithoutMarkers_, false);
    assign(historyRevision_, historyRevision_ + 1);
}

void EditorState::checkpoint()
{
    endStrokeEdit();
    undoStack_.push_back(snapshot());
    redoStack_.clear();
    markEdited();
}

void EditorState::replace(const QVector<Annotation>& annotations)
{
    if (annotations == annotations_)
        return;
    checkpoint();
    setAnnotations(annotations);
    reflowCanvas(std::nullopt);
}

void EditorState::restore(const EditSnapshot& s)
{
    setShot(s.shot);
    setAnnotations(s.annotations);
    setCropRect(s.cropRect);
    assign(cropBasisRect_, s.cropBasisRect);
    assign(canvasRect_, s.canvasRect);
    assign(selectedID_, std::optional<QUuid>());
    style_.syncToSelection();
    assign(historyRevision_, historyRevision_ + 1);
    assign(copiedWithoutMarkers_, false);
}

void EditorState::undo()
{
    backgroundRemoval_.dismissNotice();
    if (cropping_.pending()) {
        cropping_.cancel();
        return;
    }
    endStrokeEdit();
    if (undoStack_.isEmpty())
        return;
    const EditSnapshot previous = undoStack_.takeLast();
    redoStack_.push_back(snapshot());
    restore(previous);
}

void EditorState::redo()
{
    backgroundRemoval_.dismissNotice();
    if (cropping_.pending())
        return;
    endStrokeEdit();
    if (redoStack_.isEmpty())
        return;
    const EditSnapshot next = redoStack_.takeLast();
    undoStack_.push_back(snapshot());
    restore(next);
}

bool EditorState::canUndo() const { return cropping_.pending().has_value() || !undoStack_.isEmpty(); }
bool EditorState::canRedo() const { return !cropping_.pending() && !redoStack_.isEmpty(); }

// Derived values.

Screenshot EditorState::editedShot() const
{
    Screenshot out = shot_;
    out.annotations = annotations_;
    out.setCropRect(cropRect_);
    out.canvasRect = canvasRect_;
    out.cropBasisRect = cropBasisRect_;
    return out;
}

RenderScene EditorState::scene() const { return shot_.composition->scene(annotations_, canvasRect_); }

QVector<Annotation> EditorState::effectiveAnnotations() const
{
    if (!cropRect_)
        return annotations_;
    return shot_.visibleAnnotations(annotations_, *cropRect_);
}

QVector<Annotation> EditorState::previewAnnotations() const
{
    if (!text_.isOpen())
        return annotations_;
    const std::optional<Annotation> preview = text_.preview();
    if (!preview)
        return annotations_;
    QVector<Annotation> out = annotations_;
    if (!text_.editingID()) {
        out.push_back(*preview);
        return out;
    }
    for (Annotation& a : out)
        if (a.id == *text_.editingID())
            a = *preview;
    return out;
}

bool EditorState::pictureReady() const
{
    const RenderScene current = scene();
    if (current.error)
        return false;
    if (!current.effects)
        return true;
    const EffectReadiness ready = current.effects->readiness(effectiveAnnotations());
    return !ready.pending && !ready.failed;
}

bool EditorState::canExport() const
{
    return pictureReady() && !text_.isOpen() && !cropping_.pending() && !images_.capturing()
        && !backgroundRemoval_.targetID() && !qr_.id() && !style_.pickingColor();
}

QSizeF EditorState::outputSize() const { return visibleArea().size(); }

QRectF EditorState::imageFrame(const QSizeF& pixelSize, const std::optional<QRectF>& crop)
{
    const QRectF whole(QPointF(0, 0), pixelSize);
    return crop ? geo::intersection(*crop, whole) : whole;
}

void EditorState::recompose(Screenshot& shot) const
{
    QImage base = shot.image;
    if (shot.imageCornerRadius > 0) {
        try {
            base = ScreenshotComposition::roundedImage(shot.image, shot.pixelSize, shot.imageCornerRadius,
                                                       imageFrame(shot.pixelSize, shot.cropRect()));
        } catch (...) {
            // Square corners are still a faithful picture of the shot.
            base = shot.image;
        }
    }
    shot.composition = std::make_shared<ScreenshotComposition>(base, shot.pixelSize);
}

} // namespace tarnwick
