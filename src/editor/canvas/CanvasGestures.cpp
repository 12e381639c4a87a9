// Pointer gestures: a press, drag and release on the canvas become EditorState
// calls. What a drag draws, moves or reshapes lives in the draft until release,
// so a whole drag is at most one undo step.

#include "editor/canvas/CanvasHitTest.h"
#include "editor/canvas/ImageCanvasView.h"

#include "render/ScreenshotComposition.h"
#include "series/Geometry.h"

#include <QMouseEvent>
#include <algorithm>

namespace tarnwick {

namespace {

using T = AnnotationTool;

bool oneOf(T kind, std::initializer_list<T> kinds) { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); }

// Whether a press with `tool` selects and grabs an element of kind `hit`.
bool grabsKind(T tool, T hit)
{
    if (tool == T::select)
        return true;
    if (oneOf(tool, {T::arrow, T::length}))
        return oneOf(hit, {T::arrow, T::length});
    if (oneOf(tool, {T::rectangle, T::ellipse}))
        return oneOf(hit, {T::rectangle, T::ellipse});
    return (tool == T::magnifier || tool == T::ruler) && hit == tool;
}

// The "Command" of the drawing gestures is Ctrl here.
bool straightening(Qt::KeyboardModifiers modifiers) { return modifiers.testFlag(Qt::ControlModifier); }

} // namespace

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

    if (state_.pickingColor()) {
        setFocus(Qt::MouseFocusReason);
        updateCursorColor(p);
        const CursorColorState& color = state_.cursorColor();
        if (color.insideCanvas() && color.sample())
            state_.applyPickedColor(*color.sample());
        update();
        updateCursorShape();
        return;
    }
    if (state_.showText() || state_.showComment() || state_.qrRecognitionID())
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
            state_.setQRMessage(QStringLiteral("Дождитесь завершения обработки снимка."));
            return;
        }
        draft_ = freshAnnotation(T::qr, q);
        state_.setSelectedID(std::nullopt);
        state_.setQRMessage(std::nullopt);
        update();
        return;
    }
    if (tool == T::crop) {
        if (const std::optional<Annotation>& pending = state_.pendingCrop()) {
            const std::optional<AnnotationHandle> handle = canvasHits::handleAt(*pending, q, k);
            if (handle || geo::contains(pending->rect(), q)) {
                activeHandle_ = handle;
                movingOriginal_ = pending;
                dragOrigin_ = q;
                return;
            }
        }
        if (geo::contains(state_.cropViewport(), q)) {
            draft_ = freshAnnotation(T::crop, q);
            update();
        }
        return;
    }
    if (oneOf(tool, {T::select, T::arrow, T::rectangle, T::ellipse, T::length, T::magnifier, T::ruler, T::highlighter})
        && state_.selectedID()) {
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
        state_.requestComment(q, std::nullopt);
        update();
        return;
    }
    if (tool == T::text) {
        if (hit && hit->kind == T::text)
            state_.requestText(hit->start, hit->id);
        else
            state_.requestText(q, std::nullopt);
        update();
        return;
    }
    if (tool == T::select || (hit && grabsKind(tool, hit->kind))) {
        state_.setSelectedID(hit ? std::optional<QUuid>(hit->id) : std::nullopt);
        if (clickCount == 2 && hit && hit->kind == T::comment) {
            state_.requestComment(hit->start, hit->id);
            return;
        }
        if (clickCount == 2 && hit && hit->kind == T::text) {
            state_.requestText(hit->start, hit->id);
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
    a.colorIndex = state_.drawingColorIndex();
    a.customColor = state_.drawingCustomColor();
    if (supportsStroke(a.kind))
        a.strokeWidth = a.kind == T::highlighter ? state_.highlighterWidth() : state_.strokeWidth();
    if (isFreehand(a.kind)) {
        a.points = {q};
        if (straightening(modifiers)) {
            straightStrokeAnchor_ = q;
            straightStrokePrefix_ = {q};
        }
    }
    if (a.kind == T::ruler) {
        a.rulerUnit = state_.rulerUnit();
        a.pixelsPerPoint = state_.shot().pixelsPerPoint;
    }
    if (state_.tool() == T::blur)
        a.blurMode = state_.blurMode();
    draft_ = a;
    state_.setSelectedID(std::nullopt);
    update();
}

void ImageCanvasView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons().testFlag(Qt::LeftButton))
        drag(event->position(), event->modifiers());
    else
        updateCursorColor(event->position());
}

void ImageCanvasView::drag(const QPointF& p, Qt::KeyboardModifiers modifiers)
{
    setCursorPoint(p);
    if (panOrigin_) {
        const QSizeF wanted = initialPan_ + QSizeF(p.x() - panOrigin_->x(), p.y() - panOrigin_->y());
        const QRectF area = contentFrame();
        CanvasNavigation nav = state_.navigation();
        nav.pan = CanvasNavigation::limited(wanted, nav.imageRect(area, visibleRect()).size(), area);
        state_.setNavigation(nav);
        update();
        updateCursorColor(p);
        return;
    }
    const std::optional<QPointF> point = pixelPoint(p, true, expandingGesture());
    if (!point)
        return;
    const QPointF q = *point;
    const std::optional<Annotation> before = draft_ ? draft_ : movingOriginal_;
    const QRectF shownBefore = imageRect();
    if (movingOriginal_ && dragOrigin_ && activeHandle_) {
        if (movingOriginal_->kind == T::crop) {
            draft_ = movingOriginal_->adjusting(*activeHandle_, q, state_.cropViewport());
        } else if (movingOriginal_->kind == T::ruler && straightening(modifiers)) {
            const QPointF anchor = *activeHandle_ == AnnotationHandle::start ? movingOriginal_->end : movingOriginal_->start;
            draft_ = movingOriginal_->adjusting(*activeHandle_, canvasHits::snapped(q, anchor));
        } else {
            draft_ = movingOriginal_->adjusting(*activeHandle_, q);
        }
    } else if (movingOriginal_ && dragOrigin_) {
        moveGrabbed(q);
    } else if (draft_) {
        draft_->end = draft_->kind == T::ruler && straightening(modifiers) ? canvasHits::snapped(q, draft_->start) : q;
        updateFreehand(q, modifiers);
    }
    damageDraft(before, shownBefore);
}

void ImageCanvasView::damageDraft(const std::optional<Annotation>& before, const QRectF& shownBefore)
{
    // Only the element's old and new boxes change on screen, unless the frame
    // moved, an overlay dims the whole frame, or other pixels depend on the
    // element (blurs above it, magnifiers, a blur or image layer itself); labels
    // of rulers and lengths lie outside their boxes.
    const bool alone = draft_ && before && geo::same(imageRect(), shownBefore)
        && !oneOf(draft_->kind, {T::blur, T::image, T::magnifier, T::crop, T::qr, T::ruler, T::length});
    const QVector<Annotation>& list = state_.annotations();
    const auto dependent = [&](const Annotation& a) { return a.kind == T::magnifier || a.id == draft_->id; };
    if (!alone || std::any_of(list.begin(), list.end(), [](const Annotation& a) { return a.kind == T::magnifier; })) {
        update();
        return;
    }
    const QVector<Annotation> stack = ScreenshotComposition::stackKey(list);
    if (std::any_of(stack.begin(), stack.end(), dependent)) {
        update();
        return;
    }
    const QRectF ir = imageRect(), vp = previewViewport();
    const double s = ir.width() / vp.width();
    const QSizeF markers = visibleRect().size();
    const auto onScreen = [&](const Annotation& a) {
        const QRectF box = state_.canvasBounds(a, markers, false);
        return QRectF(ir.topLeft() + (box.topLeft() - vp.topLeft()) * s, box.size() * s);
    };
    // Room for the selection handles and antialiasing around the boxes.
    const double margin = 16;
    update(onScreen(*draft_).united(onScreen(*before)).adjusted(-margin, -margin, margin, margin).toAlignedRect());
}

void ImageCanvasView::moveGrabbed(const QPointF& q)
{
    const Annotation& original = *movingOriginal_;
    QSizeF d(q.x() - dragOrigin_->x(), q.y() - dragOrigin_->y());
    QRectF limit = visibleRect();
    QRectF moved = original.geometryBounds();
    if (movingMagnifierSource_) {
        limit = state_.canvasRect();
        moved = original.magnifierSource ? *original.magnifierSource : original.rect();
    } else if (original.kind == T::crop) {
        limit = state_.cropViewport();
    } else if (original.kind == T::magnifier) {
        moved = original.rect();
    }
    if (!expandingGesture()) {
        // Only a crop frame and a magnifier's source are held inside their limit.
        if (moved.width() <= limit.width())
            d.setWidth(std::min(std::max(d.width(), limit.left() - moved.left()), limit.right() - moved.right()));
        if (moved.height() <= limit.height())
            d.setHeight(std::min(std::max(d.height(), limit.top() - moved.top()), limit.bottom() - moved.bottom()));
    }
    if (movingMagnifierSource_) {
        Annotation a = original;
        if (a.magnifierSource)
            a.magnifierSource = a.magnifierSource->translated(d.width(), d.height());
        draft_ = a;
    } else {
        draft_ = original.translated(d);
    }
}

void ImageCanvasView::updateFreehand(const QPointF& q, Qt::KeyboardModifiers modifiers)
{
    if (!draft_ || !isFreehand(draft_->kind))
        return;
    Annotation& a = *draft_;
    QPointF end = q;
    if (!straightening(modifiers)) {
        straightStrokeAnchor_.reset();
        straightStrokePrefix_.clear();
        if (!a.points.isEmpty() && geo::distance(a.points.back(), q) >= 0.5)
            a.points.push_back(q);
    } else {
        if (!straightStrokeAnchor_) {
            straightStrokeAnchor_ = a.points.isEmpty() ? a.start : a.points.back();
            straightStrokePrefix_ = a.points.isEmpty() ? QVector<QPointF>{a.start} : a.points;
        }
        end = canvasHits::snapped(q, *straightStrokeAnchor_);
        a.points = straightStrokePrefix_;
        if (!geo::same(a.points.back(), end))
            a.points.push_back(end);
    }
    a.end = end;
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
        state_.setCropSelection(draft->rect());
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
            state_.add(*draft, oneOf(draft->kind, {T::arrow, T::rectangle, T::ellipse, T::length, T::ruler}));
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
