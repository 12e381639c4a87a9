// Pointer gestures: a press, drag and release on the canvas become EditorState
// calls. What a drag draws, moves or reshapes lives in the draft until release,
// so a whole drag is at most one undo step.

#include "editor/canvas/CanvasGestureSupport.h"
#include "editor/canvas/CanvasHitTest.h"
#include "editor/canvas/ImageCanvasView.h"

#include "series/Geometry.h"

#include <QMouseEvent>
#include <algorithm>

namespace tarnwick {

using T = AnnotationTool;
using gestures::straightening;

std::optional<QPointF> ImageCanvasView::pixelPoint(const QPointF& p, bool clamped, bool allowOutside) const
{
    const QRectF r = dragImageRect_ ? *dragImageRect_ : imageRect();
    const QRectF v = dragViewport_ ? *dragViewport_ : visibleRect();
    if (!(r.width() > 0 && r.height() > 0))
        return std::nullopt;
    if (!clamped && !allowOutside && !geo::contains(r, p))
        return std::nullopt;
    double x = (p.x() - r.left()) / r.width() * v.width();
    double y = (p.y() - r.top()) / r.height() * v.height();
    if (!allowOutside) {
        x = std::clamp(x, 0.0, v.width());
        y = std::clamp(y, 0.0, v.height());
    }
    return QPointF(v.left() + x, v.top() + y);
}

double ImageCanvasView::toleranceScale() const
{
    const QRectF i = imageRect();
    return i.width() > 0 ? visibleRect().width() / i.width() : 1;
}

void ImageCanvasView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    press(event, 1);
}

void ImageCanvasView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    press(event, 2);
}

void ImageCanvasView::press(QMouseEvent* event, int clickCount)
{
    closeStrokeEdit();
    const QPointF p = event->position();
    setCursorPoint(p);

    if (state_.style().pickingColor()) {
        setFocus(Qt::MouseFocusReason);
        updateCursorColor(p);
        const CursorColorState& color = state_.cursorColor();
        if (color.insideCanvas() && color.sample())
            state_.style().applyPickedColor(*color.sample());
        update();
        updateCursorShape();
        return;
    }
    if (state_.text().isOpen() || state_.comment().isOpen() || state_.qr().id())
        return;
    setFocus(Qt::MouseFocusReason);
    repeatingNudgeID_.reset();

    if (spaceDown_) {
        panOrigin_ = p;
        initialPan_ = state_.navigation().pan;
        updateCursorShape();
        return;
    }
    dragImageRect_.reset();
    dragViewport_.reset();
    if (!QRectF(rect()).contains(p))
        return;
    const std::optional<QPointF> hitPoint = pixelPoint(p, false, createsOutsideCanvas(state_.drawingTool()));
    if (!hitPoint)
        return;
    const QPointF q = *hitPoint;
    dragImageRect_ = imageRect();
    dragViewport_ = visibleRect();
    movingMagnifierSource_ = false;
    straightStrokeAnchor_.reset();
    straightStrokePrefix_.clear();
    const double k = toleranceScale();
    const T tool = state_.tool();

    if (tool == T::qr) {
        if (!state_.canExport()) {
            state_.qr().setMessage(QStringLiteral("Дождитесь завершения обработки снимка."));
            return;
        }
        draft_ = freshAnnotation(T::qr, q);
        state_.setSelectedID(std::nullopt);
        state_.qr().setMessage(std::nullopt);
        update();
        return;
    }
    if (tool == T::crop) {
        if (const std::optional<Annotation>& pending = state_.cropping().pending()) {
            const std::optional<AnnotationHandle> handle = canvasHits::handleAt(*pending, q, k);
            if (handle || geo::contains(pending->rect(), q)) {
                activeHandle_ = handle;
                movingOriginal_ = pending;
                dragOrigin_ = q;
                return;
            }
        }
        if (geo::contains(state_.cropping().viewport(), q)) {
            draft_ = freshAnnotation(T::crop, q);
            update();
        }
        return;
    }
    if (showsHandles(tool) && state_.selectedID()) {
        for (const Annotation& a : state_.annotations()) {
            if (a.id != *state_.selectedID())
                continue;
            if (const std::optional<AnnotationHandle> handle = canvasHits::handleAt(a, q, k)) {
                activeHandle_ = handle;
                movingOriginal_ = a;
                dragOrigin_ = q;
                update();
                return;
            }
            break;
        }
    }

    const std::optional<Annotation> hit =
        canvasHits::hitTest(state_.effectiveAnnotations(), q, k, state_.shot().pixelSize, visibleRect());
    if (tool == T::comment) {
        state_.comment().request(q, std::nullopt);
        update();
        return;
    }
    if (tool == T::text) {
        if (hit && hit->kind == T::text)
            state_.text().request(hit->start, hit->id);
        else
            state_.text().request(q, std::nullopt);
        update();
        return;
    }
    if (tool == T::select || (hit && grabs(tool, hit->kind))) {
        state_.setSelectedID(hit ? std::optional<QUuid>(hit->id) : std::nullopt);
        if (clickCount == 2 && hit && hit->kind == T::comment) {
            state_.comment().request(hit->start, hit->id);
            return;
        }
        if (clickCount == 2 && hit && hit->kind == T::text) {
            state_.text().request(hit->start, hit->id);
            return;
        }
        movingOriginal_ = hit;
        dragOrigin_ = q;
        if (hit && hit->kind == T::magnifier)
            movingMagnifierSource_ = canvasHits::lensPart(*hit, q, k) == LensPart::source;
        update();
        return;
    }
    startElement(q, event->modifiers());
}

void ImageCanvasView::startElement(const QPointF& q, Qt::KeyboardModifiers modifiers)
{
    Annotation a = freshAnnotation(state_.drawingTool(), q);
    a.colorIndex = state_.style().drawingColorIndex();
    a.customColor = state_.style().drawingCustomColor();
    if (supportsStroke(a.kind))
        a.strokeWidth = hasOwnWidth(a.kind) ? state_.style().highlighterWidth() : state_.style().strokeWidth();
    if (isFreehand(a.kind)) {
        a.points = {q};
        if (straightening(modifiers)) {
            straightStrokeAnchor_ = q;
            straightStrokePrefix_ = {q};
        }
    }
    if (a.kind == T::ruler) {
        a.rulerUnit = state_.style().rulerUnit();
        a.pixelsPerPoint = state_.shot().pixelsPerPoint;
    }
    if (state_.tool() == T::blur)
        a.blurMode = state_.style().blurMode();
    draft_ = a;
    state_.setSelectedID(std::nullopt);
    update();
}

void ImageCanvasView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const QPointF p = event->position();
    setCursorPoint(p);
    if (panOrigin_) {
        panOrigin_.reset();
        updateCursorShape();
        updateCursorColor(p);
        return;
    }
    if (draft_ && draft_->kind == T::ruler)
        drag(p, event->modifiers());
    if (!movingOriginal_ && draft_ && isFreehand(draft_->kind))
        if (const std::optional<QPointF> q = pixelPoint(p, true, expandingGesture()))
            updateFreehand(*q, event->modifiers());
    commitDraft(p);
    updateCursorColor(p);
}

void ImageCanvasView::commitDraft(const QPointF& p)
{
    std::optional<Annotation> draft = draft_;
    const bool expanding = expandingGesture();
    const bool grabbed = movingOriginal_.has_value();
    bool recognize = false;
    if (draft && draft->kind == T::crop) {
        state_.cropping().select(draft->rect());
    } else if (draft && draft->kind == T::qr) {
        if (const std::optional<QPointF> q = pixelPoint(p, true, false))
            draft->end = *q;
        recognize = true;
    } else if (draft && grabbed) {
        state_.transform(*draft, expanding, true);
    } else if (draft && draft->kind == T::pencil) {
        state_.add(draft->smoothedPencil(), true);
    } else if (draft && draft->kind == T::highlighter) {
        state_.add(*draft, true);
    } else if (draft && geo::distance(draft->start, draft->end) > 5) {
        if (draft->kind == T::magnifier) {
            const QRectF r = draft->rect();
            if (r.width() >= 4 && r.height() >= 4)
                state_.add(draft->placedMagnifier(visibleRect()), false);
        } else {
            state_.add(*draft, createsOutsideCanvas(draft->kind) && !isFreehand(draft->kind));
        }
    }
    resetGesture();
    update();
    refreshEffects();
    if (recognize)
        emit recognizeQRRequested(draft->rect());
}

void ImageCanvasView::resetGesture()
{
    draft_.reset();
    movingOriginal_.reset();
    dragOrigin_.reset();
    activeHandle_.reset();
    dragImageRect_.reset();
    dragViewport_.reset();
    straightStrokeAnchor_.reset();
    movingMagnifierSource_ = false;
    straightStrokePrefix_.clear();
}

void ImageCanvasView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setCursorPoint(std::nullopt);
    state_.cursorColor().update(std::nullopt, false);
}

} // namespace tarnwick
