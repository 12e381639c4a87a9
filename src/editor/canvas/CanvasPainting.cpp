// Drawing of the canvas: the shot through the renderer, then the canvas's own overlays.

#include "editor/canvas/ImageCanvasView.h"

#include "editor/canvas/CanvasGestureSupport.h"
#include "series/Palette.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <vector>

namespace tarnwick {


namespace {

constexpr int shadowReach = 36; // twice the shadow's blur radius of 18 points

const QBrush& transparencyPattern()
{
    static const QBrush brush = [] {
        QImage tile(16, 16, QImage::Format_ARGB32_Premultiplied);
        tile.fill(QColor::fromRgbF(0.19f, 0.19f, 0.19f));
        QPainter p(&tile);
        const QColor light = QColor::fromRgbF(0.24f, 0.24f, 0.24f);
        p.fillRect(0, 0, 8, 8, light);
        p.fillRect(8, 8, 8, 8, light);
        return QBrush(tile);
    }();
    return brush;
}

// A black square at half alpha under a Gaussian blur, computed once (the blur
// of a box is separable); drawn in nine slices around any rectangle.
const QPixmap& shadowTile()
{
    static const QPixmap tile = [] {
        const int side = 4 * shadowReach;
        const double sigma = 9;
        // The share of a blurred unit box [reach, 3 reach] at the centre of pixel i.
        std::vector<double> cover(std::size_t(side), 0);
        for (int i = 0; i < side; ++i) {
            const double c = i + 0.5;
            const auto phi = [sigma](double x) { return 0.5 * std::erfc(-x / (sigma * std::sqrt(2.0))); };
            cover[std::size_t(i)] = phi(c - shadowReach) - phi(c - 3 * shadowReach);
        }
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < side; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < side; ++x)
                line[x] = qRgba(0, 0, 0, int(std::lround(127.5 * cover[std::size_t(x)] * cover[std::size_t(y)])));
        }
        return QPixmap::fromImage(image);
    }();
    return tile;
}

void drawShadow(QPainter& painter, const QRectF& ir)
{
    const QRectF outer = ir.adjusted(-shadowReach, -shadowReach, shadowReach, shadowReach);
    const QPixmap& tile = shadowTile();
    const double m = 2 * shadowReach;
    const double mx = std::min(m, outer.width() / 2), my = std::min(m, outer.height() / 2);
    // Columns and rows of the target and of the tile: edge, stretched middle, edge.
    const double tx[4] = {outer.left(), outer.left() + mx, outer.right() - mx, outer.right()};
    const double ty[4] = {outer.top(), outer.top() + my, outer.bottom() - my, outer.bottom()};
    const double sx[4] = {0, mx, 2 * m - mx, 2 * m};
    const double sy[4] = {0, my, 2 * m - my, 2 * m};
    const double sourceMiddle[4] = {0, m, m, 2 * m};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            if (row == 1 && column == 1)
                continue; // under the image
            const QRectF target(QPointF(tx[column], ty[row]), QPointF(tx[column + 1], ty[row + 1]));
            const double x0 = column == 1 ? sourceMiddle[1] : sx[column], x1 = column == 1 ? sourceMiddle[2] : sx[column + 1];
            const double y0 = row == 1 ? sourceMiddle[1] : sy[row], y1 = row == 1 ? sourceMiddle[2] : sy[row + 1];
            if (target.width() <= 0 || target.height() <= 0)
                continue;
            // The middle slices stretch one column (or row) of the tile.
            const QRectF source(QPointF(x0, y0), QPointF(column == 1 ? x0 + 1 : x1, row == 1 ? y0 + 1 : y1));
            painter.drawPixmap(target, tile, source);
        }
}

// Everything of `frame` outside `hole`, for dimming around a selection.
QPainterPath surround(const QRectF& frame, const QRectF& hole)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addRect(frame);
    if (!geo::isNull(hole))
        path.addRect(hole);
    return path;
}

} // namespace

QVector<Annotation> ImageCanvasView::drawnAnnotations() const
{
    QVector<Annotation> list = state_.previewAnnotations();
    if (!draft_ || draft_->kind == AnnotationTool::crop || draft_->kind == AnnotationTool::qr)
        return list;
    for (Annotation& a : list)
        if (a.id == draft_->id) {
            a = *draft_;
            return list;
        }
    // A grabbed element removed meanwhile (Delete during the drag) is not drawn again.
    if (!movingOriginal_)
        list.push_back(*draft_);
    return list;
}

void ImageCanvasView::paintEvent(QPaintEvent* event)
{
    const QRect dirty = event->rect();
    QPainter painter(this);
    painter.setClipRect(dirty);
    painter.fillRect(dirty, QColor::fromRgbF(0.07f, 0.07f, 0.07f));

    const QRectF ir = imageRect();
    const QRectF vp = previewViewport();
    if (geo::isFinite(ir) && ir.width() > 0 && ir.height() > 0 && vp.width() > 0) {
        drawShadow(painter, ir);
        painter.save();
        painter.setClipRect(ir, Qt::IntersectClip);
        painter.fillRect(ir, transparencyPattern());
        paintContent(painter, dirty, ir);
        const double s = ir.width() / vp.width();
        painter.translate(ir.topLeft());
        painter.scale(s, s);
        painter.translate(-vp.topLeft());
        paintOverlays(painter, s);
        painter.restore();

        // The edge lies on the ring of pixels just outside the shot, so every pixel of the shot is its own.
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.16f), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(ir.adjusted(-0.5, -0.5, 0.5, 0.5));
    }

    if (const std::optional<QRectF> brush = brushPreviewRect()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.85f), 3));
        painter.drawEllipse(*brush);
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.95f), 1));
        painter.drawEllipse(*brush);
    }
}

void ImageCanvasView::paintContent(QPainter& painter, const QRect& dirty, const QRectF& ir)
{
    const QRect target = ir.toAlignedRect().intersected(dirty).intersected(rect());
    if (target.isEmpty())
        return;
    const QRectF vp = previewViewport();
    const QRectF pc = previewCanvas();
    const double s = ir.width() / vp.width();

    const QVector<Annotation> list = drawnAnnotations();
    // An element moving where no blur above it reads leaves the blurs as they
    // are: their results stay those of the list without the move.
    std::optional<QRectF> blurs;
    if (draft_ && movingOriginal_ && draft_->id == movingOriginal_->id)
        blurs = blursMovedBy(*movingOriginal_, *draft_);
    const RenderScene scene = state_.shot().composition->scene(blurs && blurs->isNull() ? state_.previewAnnotations() : list, pc);
    const QVector<Annotation> visible = state_.cropRect() ? state_.shot().visibleAnnotations(list, vp) : list;
    if (scene.effects)
        scene.effects->prepare(visible);
    // A part of the canvas draws only the elements that reach into it (with room for
    // their selection handles). Comments stay (their badges count in list order),
    // and so do magnifiers and the labels of rulers and lengths, which reach further.
    QVector<Annotation> drawn;
    if (target != ir.toAlignedRect().intersected(rect())) {
        const QSizeF markers = visibleRect().size();
        const double room = 16 / s;
        const QRectF part(vp.topLeft() + (QPointF(target.topLeft()) - ir.topLeft()) / s, QSizeF(target.size()) / s);
        for (const Annotation& a : visible)
            if (marksOutsideBounds(a.kind)
                || state_.canvasBounds(a, markers, true).adjusted(-room, -room, room, room).intersects(part))
                drawn.push_back(a);
    } else {
        drawn = visible;
    }

    const double dpr = devicePixelRatioF();
    const QSize size(int(std::ceil(target.width() * dpr)), int(std::ceil(target.height() * dpr)));
    if (layer_.size() != size)
        layer_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    if (layer_.isNull())
        return;
    layer_.setDevicePixelRatio(dpr);
    layer_.fill(Qt::transparent);
    {
        QPainter lp(&layer_);
        lp.translate(-QPointF(target.topLeft()) + ir.topLeft());
        lp.scale(s, s);
        lp.translate(-vp.topLeft());
        ScreenshotRenderer::DrawArguments args;
        args.image = scene.background;
        args.size = state_.shot().pixelSize;
        args.annotations = drawn;
        args.label = state_.label();
        if (state_.tool() != AnnotationTool::crop)
            args.selectedID = state_.selectedID();
        args.selectionScale = s;
        args.showMarkers = true;
        args.effects = scene.effects.get();
        args.markerFrame = vp;
        args.imageFrame = pc;
        ScreenshotRenderer::draw(lp, args);
    }
    painter.drawImage(target.topLeft(), layer_);
}

void ImageCanvasView::paintOverlays(QPainter& painter, double s)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = visibleRect();

    if (draft_ && draft_->kind == AnnotationTool::qr) {
        const QRectF r = geo::intersection(draft_->rect(), frame);
        painter.fillPath(surround(frame, r), QColor::fromRgbF(0, 0, 0, 0.35f));
        if (!geo::isNull(r)) {
            // Dashes of 5 and 3 points on screen; Qt counts them in pen widths.
            QPen pen(Theme::accent(), 1.5 / s, Qt::CustomDashLine, Qt::FlatCap);
            pen.setDashPattern({5.0 / 1.5, 3.0 / 1.5});
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(r);
        }
    }

    std::optional<Annotation> crop = state_.cropping().pending();
    if (draft_ && draft_->kind == AnnotationTool::crop)
        crop = draft_;
    if (!crop)
        return;
    const QRectF r = geo::intersection(crop->rect(), state_.cropping().viewport());
    painter.fillPath(surround(frame, r), QColor::fromRgbF(0, 0, 0, 0.6f));
    painter.setBrush(Qt::NoBrush);
    if (!geo::isNull(r)) {
        painter.setPen(QPen(Qt::white, 1.5 / s));
        painter.drawRect(r);
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.5f), 1 / s));
        for (int i = 1; i <= 2; ++i) {
            const double x = r.left() + i * r.width() / 3;
            const double y = r.top() + i * r.height() / 3;
            painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
            painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        }
    }
    painter.setPen(QPen(Theme::marker(), 1.5 / s));
    painter.setBrush(Qt::white);
    for (AnnotationHandle h : crop->handles())
        painter.drawEllipse(crop->position(h), 5 / s, 5 / s);
}

} // namespace tarnwick
