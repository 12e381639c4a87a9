#include "editor/model/EditorImageLayers.h"

#include "editor/model/EditorState.h"
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

EditorImageLayers::EditorImageLayers(EditorState& state) : state_(state), fileReads_(&state)
{
    // Any change may be the one that lets the editor take layers again.
    QObject::connect(&state_, &EditorState::changed, &state_, [this] { fileReads_.resume(); });
}

void EditorImageLayers::setCapturing(bool on) { state_.assign(capturing_, on); }

void EditorImageLayers::setMessage(const std::optional<QString>& message)
{
    state_.assign(message_, message);
    state_.backgroundRemoval_.forgetNotice();
}

bool EditorImageLayers::canAdd() const
{
    return !state_.text().isOpen() && !state_.comment().isOpen() && !state_.cropping().pending() && !capturing_
        && !state_.backgroundRemoval().targetID() && !state_.qr().id() && !state_.style().pickingColor();
}

bool EditorImageLayers::paste(const QMimeData* data)
{
    if (!canAdd())
        return false;
    if (data && !EditorImageImporter::localFiles(*data).isEmpty()) {
        fileReads_.run([read = fileReader_, offer = EditorImageImporter::copy(*data)] { return read(offer); },
                       [this](const EditorImageImporter::Result& read) { return insertInTurn(read); });
        return true;
    }
    const EditorImageImporter::Result read = data ? EditorImageImporter::fromMimeData(*data) : EditorImageImporter::Result();
    // Behind a file still being read, it takes its turn.
    if (fileReads_.waiting() > 0) {
        fileReads_.queue(read, [this](const EditorImageImporter::Result& r) { return insertInTurn(r); });
        return true;
    }
    return insert(read);
}

void EditorImageLayers::addFiles(const QStringList& files)
{
    EditorImageImporter::Offer offer;
    offer.files = files;
    fileReads_.run(
        [read = fileReader_, offer] {
            EditorImageImporter::Result result = read(offer);
            // Chosen, not found on a clipboard: a file that gives no image is one that cannot be read.
            result.unreadable = result.images.isEmpty();
            return result;
        },
        [this](const EditorImageImporter::Result& read) { return insertInTurn(read); });
}

bool EditorImageLayers::insertInTurn(const EditorImageImporter::Result& read)
{
    if (!canAdd())
        return false;
    insert(read);
    return true;
}

bool EditorImageLayers::insert(const EditorImageImporter::Result& read)
{
    if (!canAdd())
        return false;
    if (read.images.isEmpty()) {
        setMessage(read.unreadable ? QStringLiteral("Не удалось прочитать изображение.")
                                   : QStringLiteral("В буфере обмена нет изображения."));
        return false;
    }
    return add(read.images);
}

bool EditorImageLayers::add(const QVector<QImage>& images)
{
    if (!canAdd())
        return false;
    const QRectF v = state_.visibleArea();
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
        setMessage(QStringLiteral("Не удалось прочитать изображение."));
        return false;
    }
    state_.setTool(T::select);
    state_.replace(state_.annotations() + layers);
    state_.setSelectedID(layers.last().id);
    setMessage(std::nullopt);
    return true;
}

bool EditorImageLayers::beginCapture()
{
    if (!canAdd())
        return false;
    setCapturing(true);
    setMessage(std::nullopt);
    return true;
}

bool EditorImageLayers::editingOriginal() const { return state_.tool() == T::select && !state_.selectedID(); }

std::optional<QVector<Annotation>> EditorImageLayers::withSelected(const std::function<void(Annotation&)>& change) const
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (!a || a->kind != T::image)
        return std::nullopt;
    QVector<Annotation> list = state_.annotations();
    for (Annotation& e : list)
        if (e.id == a->id) {
            change(e);
            break;
        }
    return list;
}

void EditorImageLayers::flipSelectedHorizontally()
{
    if (const auto list = withSelected([](Annotation& e) { e.imageFlippedHorizontally = !e.imageFlippedHorizontally; }))
        state_.replace(*list);
}

double EditorImageLayers::cornerRadiusLimit() const
{
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (a && a->kind == T::image)
        return std::max(std::floor(halfShorterSide(a->rect())), 1.0);
    if (!editingOriginal())
        return 1;
    const QRectF frame = EditorState::imageFrame(state_.shot().pixelSize, state_.cropRect());
    if (geo::isEmpty(frame))
        return 1;
    return std::max(std::floor(halfShorterSide(frame)), 1.0);
}

double EditorImageLayers::displayedCornerRadius() const
{
    if (editingOriginal())
        return std::min(state_.shot().imageCornerRadius, cornerRadiusLimit());
    const std::optional<Annotation> a = state_.selectedAnnotation();
    if (!a)
        return 0;
    return std::min(std::max(a->imageCornerRadius, 0.0), halfShorterSide(a->rect()));
}

void EditorImageLayers::setCornerRadius(double radius)
{
    const double wanted = std::isfinite(radius) ? radius : 0;
    const double r = std::min(std::max(wanted, 0.0), cornerRadiusLimit());
    if (editingOriginal()) {
        if (r == state_.shot().imageCornerRadius)
            return;
        if (!state_.strokeEditBaseline_)
            state_.checkpoint();
        Screenshot copy = state_.shot();
        copy.imageCornerRadius = r;
        state_.recompose(copy);
        state_.setShot(copy);
        state_.markEdited();
        return;
    }
    const auto list = withSelected([r](Annotation& e) { e.imageCornerRadius = r; });
    if (!list)
        return;
    if (state_.strokeEditBaseline_)
        state_.storeContinuing(*list);
    else
        state_.replace(*list);
}

} // namespace tarnwick
