#include "editor/model/EditorCropping.h"

#include "editor/model/EditorState.h"
#include "series/Geometry.h"

namespace tarnwick {
namespace {

using T = AnnotationTool;

constexpr double minimumCropSide = 4;

bool tooSmall(const QRectF& r) { return geo::isNull(r) || r.width() < minimumCropSide || r.height() < minimumCropSide; }

} // namespace

QRectF EditorCropping::viewport() const
{
    const QRectF area = state_.visibleArea();
    if (targetID_)
        for (const Annotation& a : state_.annotations())
            if (a.id == *targetID_ && a.kind == T::image)
                return geo::intersection(a.rect(), area);
    return area;
}

void EditorCropping::select(const QRectF& rect)
{
    const QRectF s = geo::intersection(geo::standardized(rect), viewport());
    if (tooSmall(s))
        return;
    // A selection is the crop tool's, and only with it do its Apply and Cancel show: a layer
    // inserted while the selection was dragged out switched to select meanwhile.
    if (state_.tool() != T::crop)
        state_.setTool(T::crop);
    Annotation crop = freshAnnotation(T::crop, s.topLeft());
    crop.end = s.bottomRight();
    state_.assign(pending_, std::optional<Annotation>(crop));
}

void EditorCropping::beginOnSelectedLayer()
{
    const std::optional<Annotation> layer = state_.selectedAnnotation();
    if (!layer || layer->kind != T::image)
        return;
    state_.setTool(T::crop);
    state_.setSelectedID(layer->id);
    state_.assign(targetID_, std::optional<QUuid>(layer->id));
    select(layer->rect());
}

void EditorCropping::apply()
{
    if (!pending_)
        return;
    const QRectF c = geo::intersection(geo::integral(pending_->rect()), viewport());
    // The viewport may have shrunk under the selection since it was drawn.
    if (tooSmall(c)) {
        cancel();
        return;
    }
    if (targetID_) {
        const QUuid target = *targetID_;
        const qsizetype i = state_.indexOf(target);
        const QVector<Annotation>& current = state_.annotations();
        if (i >= 0 && current[i].kind == T::image && current[i].embeddedImage) {
            QVector<Annotation> list = current;
            Annotation& a = list[i];
            const QRectF l = a.rect();
            const QRectF q = a.imageCrop.value_or(QRectF(QPointF(0, 0), QSizeF(a.embeddedImage->size())));
            const double dx = a.imageFlippedHorizontally ? l.right() - c.right() : c.left() - l.left();
            a.imageCrop = QRectF(q.x() + dx / l.width() * q.width(), q.y() + (c.top() - l.top()) / l.height() * q.height(),
                                 c.width() / l.width() * q.width(), c.height() / l.height() * q.height());
            a.start = c.topLeft();
            a.end = c.bottomRight();
            cancel();
            state_.replace(list);
            state_.setTool(T::select);
            state_.setSelectedID(target);
            return;
        }
    }
    cancel();
    cropTo(c);
}

void EditorCropping::cropTo(const QRectF& rect)
{
    const QRectF area = state_.visibleArea();
    const QRectF r = geo::intersection(geo::integral(geo::standardized(rect)), area);
    if (tooSmall(r) || geo::same(r, area))
        return;
    state_.checkpoint();
    state_.setCropRect(r);
    state_.assign(state_.cropBasisRect_, std::optional<QRectF>(r));
    state_.setSelectedID(std::nullopt);
}

void EditorCropping::cancel()
{
    const std::optional<QUuid> target = targetID_;
    state_.assign(pending_, std::optional<Annotation>());
    state_.assign(targetID_, std::optional<QUuid>());
    if (target && state_.tool() == T::crop) {
        state_.setTool(T::select);
        state_.setSelectedID(target);
    }
}

void EditorCropping::remove()
{
    if (!state_.cropRect())
        return;
    cancel();
    state_.checkpoint();
    state_.setCropRect(std::nullopt);
    state_.assign(state_.cropBasisRect_, std::optional<QRectF>());
    state_.setSelectedID(std::nullopt);
}

} // namespace tarnwick
