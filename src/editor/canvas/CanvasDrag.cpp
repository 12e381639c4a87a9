// Dragging on the canvas: the pan, and the draft that follows the pointer.

#include "editor/canvas/CanvasGestureSupport.h"
#include "editor/canvas/CanvasHitTest.h"
#include "editor/canvas/ImageCanvasView.h"

#include "render/LocalEffects.h"
#include "series/Geometry.h"

#include <QMouseEvent>
#include <algorithm>

namespace tarnwick {

using T = AnnotationTool;
using gestures::straightening;

namespace {

// How far outside its rectangle a blur reads the picture below it, in image
// pixels; nothing for the object modes, which read the whole picture.
std::optional<double> blurReach(const Annotation& blur, double shotWidth)
{
    switch (blur.blurMode) {
    case BlurMode::area: return 5 * areaBlurRadius(shotWidth) + 16; // the Gaussian's 3 sigma and the reduced grid's cells
    case BlurMode::erase: return 2;
    case BlurMode::text:
    case BlurMode::pixelate: return 1;
    case BlurMode::objectErase:
    case BlurMode::objectPixelate: return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

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
            draft_ = movingOriginal_->adjusting(*activeHandle_, q, state_.cropping().viewport());
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
    // Only the element's old and new boxes change on screen, and the blurs above
    // it that read them, unless the frame moved, an overlay dims the whole frame,
    // or other pixels depend on the element (magnifiers, a blur or image layer
    // itself); labels of rulers and lengths lie outside their boxes.
    const bool alone = draft_ && before && geo::same(imageRect(), shownBefore)
        && repaintsAlone(draft_->kind);
    const QVector<Annotation>& list = state_.annotations();
    if (!alone || std::any_of(list.begin(), list.end(), [](const Annotation& a) { return a.kind == T::magnifier; })) {
        update();
        return;
    }
    const std::optional<QRectF> blurs = blursMovedBy(*before, *draft_);
    if (!blurs) {
        update();
        return;
    }
    const QRectF ir = imageRect(), vp = previewViewport();
    const double s = ir.width() / vp.width();
    const QSizeF markers = visibleRect().size();
    const auto onScreen = [&](const QRectF& box) { return QRectF(ir.topLeft() + (box.topLeft() - vp.topLeft()) * s, box.size() * s); };
    const QRectF boxes = state_.canvasBounds(*draft_, markers, false).united(state_.canvasBounds(*before, markers, false));
    // Room for the selection handles and antialiasing around the boxes.
    const double margin = 16;
    update(onScreen(boxes.united(*blurs)).adjusted(-margin, -margin, margin, margin).toAlignedRect());
}

std::optional<QRectF> ImageCanvasView::blursMovedBy(const Annotation& from, const Annotation& to) const
{
    const QVector<Annotation>& list = state_.annotations();
    const auto at = std::find_if(list.begin(), list.end(), [&](const Annotation& a) { return a.id == to.id; });
    if (at == list.end())
        return QRectF(); // a new element, drawn above everything
    const QSizeF markers = visibleRect().size();
    QVector<QRectF> changed{state_.canvasBounds(from, markers, false), state_.canvasBounds(to, markers, false)};
    QRectF blurs;
    for (auto it = at + 1; it != list.end(); ++it) {
        if (it->kind != T::blur)
            continue;
        const std::optional<double> reach = blurReach(*it, state_.shot().pixelSize.width());
        if (!reach)
            return std::nullopt;
        const QRectF reads = it->rect().adjusted(-*reach, -*reach, *reach, *reach);
        if (std::none_of(changed.begin(), changed.end(), [&](const QRectF& r) { return r.intersects(reads); }))
            continue;
        // A blur that changes changes the blurs above that read it.
        const QRectF box = state_.canvasBounds(*it, markers, false);
        changed.push_back(box);
        blurs = blurs.united(box);
    }
    return blurs;
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
        limit = state_.cropping().viewport();
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

} // namespace tarnwick
