#include "editor/model/EditorState.h"

#include "editor/model/EditorImageImporter.h"
#include "series/Geometry.h"

#include <QMimeData>
#include <algorithm>
#include <cmath>

namespace tarnwick {
namespace {

using T = AnnotationTool;

constexpr double layerShare = 0.65;

double halfShorterSide(const QRectF& r) { return std::min(r.width(), r.height()) / 2; }

} // namespace

void EditorState::setImageMessage(const std::optional<QString>& message)
{
    assign(imageMessage_, message);
    backgroundRemoval_.forgetNotice();
}

bool EditorState::canAddImage() const
{
    return !text_.isOpen() && !comment_.isOpen() && !pendingCrop_ && !capturingImage_ && !backgroundRemoval_.targetID()
        && !qr_.id() && !pickingColor_;
}

bool EditorState::pasteImage(const QMimeData* data)
{
    if (!canAddImage())
        return false;
    const EditorImageImporter::Result read =
        data ? EditorImageImporter::fromMimeData(*data) : EditorImageImporter::Result();
    if (read.images.isEmpty()) {
        setImageMessage(read.unreadable ? QStringLiteral("Не удалось прочитать изображение.")
                                        : QStringLiteral("В буфере обмена нет изображения."));
        return false;
    }
    return addImages(read.images);
}

bool EditorState::addImages(const QVector<QImage>& images)
{
    if (!canAddImage())
        return false;
    const QRectF v = visibleArea();
    QVector<Annotation> layers;
    for (const QImage& image : images) {
        const std::optional<QImage> bitmap = EditorImageImporter::normalized(image);
        if (!bitmap)
            continue;
        const double w = bitmap->width(), h = bitmap->height();
        const double s = std::min({v.width() * layerShare / w, v.height() * layerShare / h, 1.0});
        Annotation layer = freshAnnotation(T::image, QPointF(v.center().x() - w * s / 2, v.center().y() - h * s / 2));
        layer.end = layer.start + QPointF(w * s, h * s);
        layer.embeddedImage = std::make_shared<const QImage>(*bitmap);
        layers.push_back(layer);
    }
    if (layers.isEmpty()) {
        setImageMessage(QStringLiteral("Не удалось прочитать изображение."));
        return false;
    }
    setTool(T::select);
    replace(annotations_ + layers);
    setSelectedID(layers.last().id);
    setImageMessage(std::nullopt);
    return true;
}

bool EditorState::beginImageCapture()
{
    if (!canAddImage())
        return false;
    assign(capturingImage_, true);
    setImageMessage(std::nullopt);
    return true;
}

bool EditorState::editingOriginalImage() const { return tool_ == T::select && !selectedID_; }

std::optional<QVector<Annotation>> EditorState::withSelectedImage(const std::function<void(Annotation&)>& change) const
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a || a->kind != T::image)
        return std::nullopt;
    QVector<Annotation> list = annotations_;
    for (Annotation& e : list)
        if (e.id == a->id) {
            change(e);
            break;
        }
    return list;
}

void EditorState::flipSelectedImageHorizontally()
{
    if (const auto list = withSelectedImage([](Annotation& e) { e.imageFlippedHorizontally = !e.imageFlippedHorizontally; }))
        replace(*list);
}

QRectF EditorState::visibleImageFrame() const
{
    const QRectF whole(QPointF(0, 0), shot_.pixelSize);
    return cropRect_ ? geo::intersection(*cropRect_, whole) : whole;
}

double EditorState::imageCornerRadiusLimit() const
{
    const std::optional<Annotation> a = selectedAnnotation();
    if (a && a->kind == T::image)
        return std::max(std::floor(halfShorterSide(a->rect())), 1.0);
    if (!editingOriginalImage())
        return 1;
    const QRectF frame = visibleImageFrame();
    if (geo::isEmpty(frame))
        return 1;
    return std::max(std::floor(halfShorterSide(frame)), 1.0);
}

double EditorState::displayedImageCornerRadius() const
{
    if (editingOriginalImage())
        return std::min(shot_.imageCornerRadius, imageCornerRadiusLimit());
    const std::optional<Annotation> a = selectedAnnotation();
    if (!a)
        return 0;
    return std::min(std::max(a->imageCornerRadius, 0.0), halfShorterSide(a->rect()));
}

void EditorState::recompose(Screenshot& shot) const
{
    QImage base = shot.image;
    if (shot.imageCornerRadius > 0) {
        const QRectF whole(QPointF(0, 0), shot.pixelSize);
        const QRectF frame = shot.cropRect() ? geo::intersection(*shot.cropRect(), whole) : whole;
        try {
            base = ScreenshotComposition::roundedImage(shot.image, shot.pixelSize, shot.imageCornerRadius, frame);
        } catch (...) {
            // Square corners are still a faithful picture of the shot.
            base = shot.image;
        }
    }
    shot.composition = std::make_shared<ScreenshotComposition>(base, shot.pixelSize);
}

void EditorState::setImageCornerRadius(double radius)
{
    const double wanted = std::isfinite(radius) ? radius : 0;
    const double r = std::min(std::max(wanted, 0.0), imageCornerRadiusLimit());
    if (editingOriginalImage()) {
        if (r == shot_.imageCornerRadius)
            return;
        if (!strokeEditBaseline_)
            checkpoint();
        Screenshot copy = shot_;
        copy.imageCornerRadius = r;
        recompose(copy);
        setShot(copy);
        markEdited();
        return;
    }
    const auto list = withSelectedImage([r](Annotation& e) { e.imageCornerRadius = r; });
    if (!list)
        return;
    if (strokeEditBaseline_) {
        if (*list == annotations_)
            return;
        setAnnotations(*list);
        markEdited();
    } else {
        replace(*list);
    }
}

} // namespace tarnwick
