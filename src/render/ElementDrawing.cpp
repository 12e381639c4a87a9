// Text, badges, highlighter strokes and image layers.

#include "series/CanvasLabel.h"
#include "render/DrawingSupport.h"
#include "render/Engines.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"
#include "series/TextBlock.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

namespace tarnwick {

double ScreenshotRenderer::badgeDiameter(double frameWidth)
{
    if (!std::isfinite(frameWidth))
        return 44;
    return std::clamp(frameWidth / 36, 44.0, 96.0);
}

double ScreenshotRenderer::outlineRadius(double fontSize)
{
    if (!std::isfinite(fontSize))
        return 0.75;
    return std::clamp(0.02 * fontSize, 0.75, 2.5);
}

double ScreenshotRenderer::badgeFontSize(const QString& text, double diameter)
{
    return (text.size() <= 2 ? 0.43 : 0.34) * diameter;
}

QColor ScreenshotRenderer::badgeTextColor(const QColor& badge)
{
    if (badge.isValid() && drawing::luminance(badge) < 0.3)
        return Qt::white;
    return QColor::fromRgbF(0.1f, 0.1f, 0.1f);
}

// ---- text ----

namespace {

// The laid-out lines, painted once per outline copy and once in the text colour.
class TextPainter {
public:
    TextPainter(const QTextLayout& layout, double scale, double obliqueness, double boldStroke)
        : layout_(layout), scale_(scale), obliqueness_(obliqueness)
    {
        // An imitated bold face strokes the glyph outlines as well as filling them. Filling
        // the glyphs again at eight offsets half the stroke width away gives the same ink
        // from the glyph cache; stroking glyph paths is a hundred times slower.
        offsets_.append(QPointF());
        if (boldStroke > 0)
            for (int k = 0; k < 8; ++k) {
                const double angle = k * std::numbers::pi / 4;
                offsets_.append(boldStroke / 2 * QPointF(std::cos(angle), std::sin(angle)));
            }
    }

    void paint(QPainter& painter, const QPointF& origin, const QColor& color) const
    {
        painter.setPen(color);
        for (int i = 0; i < layout_.lineCount(); ++i) {
            const QTextLine line = layout_.lineAt(i);
            const double baseline = line.y() + line.ascent();
            for (const QPointF& offset : offsets_) {
                painter.save();
                // Shear about the line's baseline, leaning the tops to the right.
                painter.translate(origin.x() + offset.x(), origin.y() + offset.y());
                if (scale_ != 1)
                    painter.scale(scale_, scale_);
                painter.translate(0, baseline);
                if (obliqueness_ != 0)
                    painter.shear(-obliqueness_, 0);
                line.draw(&painter, QPointF(0, -baseline));
                painter.restore();
            }
        }
    }

private:
    const QTextLayout& layout_;
    double scale_;
    double obliqueness_;
    QVector<QPointF> offsets_;
};

} // namespace

void ScreenshotRenderer::drawText(QPainter& painter, const Annotation& annotation, const QRectF& rect)
{
    if (annotation.text.isEmpty() || !annotation.isFinite() || !geo::isFinite(rect))
        return;
    const TextAttributes attributes = annotation.textAttributes();
    QFont font = attributes.font;
    font.setStrikeOut(attributes.strikethrough);
    // The same layout Annotation::rect() measured, broken to the rect's width.
    const TextBlock block(annotation.text, font, rect.width(), annotation.fontSize);
    const double fontSize = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
    const TextPainter pass(block.layout(), block.scale(), attributes.obliqueness,
                           attributes.syntheticBold ? 0.02 * fontSize : 0);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (annotation.textOutline) {
        const double r = outlineRadius(annotation.fontSize);
        for (int k = 0; k < 12; ++k) {
            const double angle = k * std::numbers::pi / 6;
            pass.paint(painter, rect.topLeft() + QPointF(r * std::cos(angle), r * std::sin(angle)), Qt::black);
        }
    }
    pass.paint(painter, rect.topLeft(), attributes.color);
    painter.restore();
}

// ---- badges ----

namespace {

// The soft shadow of a badge shape centred in the returned image: black at 22 %, blurred
// with the given radius. A shot's badges share one diameter, so the last few are kept.
QImage badgeShadow(double diameter, bool square, double blurRadius)
{
    struct Entry {
        double diameter;
        bool square;
        QImage image;
    };
    thread_local std::deque<Entry> recent;
    for (const Entry& e : recent)
        if (e.diameter == diameter && e.square == square)
            return e.image;

    const double sigma = blurRadius / 2;
    const int pad = static_cast<int>(std::ceil(3 * sigma)) + 2;
    const int side = static_cast<int>(std::ceil(diameter)) + 2 * pad;
    QImage mask(side, side, QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull())
        return {};
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF shape(side / 2.0 - diameter / 2, side / 2.0 - diameter / 2, diameter, diameter);
        QPainterPath path;
        if (square)
            path.addRoundedRect(shape, 0.25 * diameter, 0.25 * diameter);
        else
            path.addEllipse(shape);
        p.fillPath(path, QColor::fromRgbF(0, 0, 0, 0.22f));
    }
    if (sigma > 0) {
        try {
            effectsEngine().blurInPlace(mask, sigma);
        } catch (const TarnwickError&) {
            // painting goes on: without the effects module the shadow is only not soft
        }
    }
    recent.push_back({diameter, square, mask});
    if (recent.size() > 4)
        recent.pop_front();
    return mask;
}

} // namespace

void ScreenshotRenderer::drawBadge(QPainter& painter, const QString& text, const QPointF& center, const QSizeF& size,
                                   bool square, const QColor& color)
{
    if (!geo::isFinite(center))
        return;
    const double d = badgeDiameter(size.width());
    const QRectF shapeRect(center.x() - d / 2, center.y() - d / 2, d, d);
    QPainterPath shape;
    if (square)
        shape.addRoundedRect(shapeRect, 0.25 * d, 0.25 * d);
    else
        shape.addEllipse(shapeRect);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage shadow = badgeShadow(d, square, d / 6);
    // The shadow's offset of (0, 1) is measured upwards: it sits one pixel above the shape.
    painter.drawImage(QPointF(center.x() - shadow.width() / 2.0, center.y() - shadow.height() / 2.0 - 1), shadow);
    painter.fillPath(shape, color);
    painter.restore();

    const double fontSize = badgeFontSize(text, d);
    const QSizeF measured = CanvasLabel::size(text, fontSize, true);
    const QRectF textRect(center.x() - measured.width() / 2, center.y() - measured.height() / 2, measured.width(),
                          measured.height());
    drawing::drawLabelLine(painter, text, fontSize, true, textRect, badgeTextColor(color));
}

// ---- highlighter ----

QVector<QVector<QPointF>> ScreenshotRenderer::highlighterRuns(const QVector<QPointF>& points)
{
    QVector<QVector<QPointF>> runs;
    if (points.isEmpty())
        return runs;
    QVector<QPointF> current{points[0]};
    for (qsizetype i = 1; i < points.size(); ++i) {
        if (i >= 2) {
            const QPointF a = points[i - 1] - points[i - 2];
            const QPointF b = points[i] - points[i - 1];
            const double dot = a.x() * b.x() + a.y() * b.y();
            if (dot < -0.5 * std::hypot(a.x(), a.y()) * std::hypot(b.x(), b.y())) {
                runs.append(current);
                current = {points[i - 1]};
            }
        }
        current.append(points[i]);
    }
    runs.append(current);
    return runs;
}

void ScreenshotRenderer::drawHighlighter(QPainter& painter, const Annotation& annotation, double width)
{
    if (!annotation.isFinite() || !std::isfinite(width))
        return;
    const QVector<QPointF> points =
        annotation.points.isEmpty() ? QVector<QPointF>{annotation.start, annotation.end} : annotation.points;
    QColor color = annotation.color();
    color.setAlphaF(0.3f);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (const QVector<QPointF>& run : highlighterRuns(points)) {
        if (run.size() == 1) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(run[0], width / 2, width / 2);
            continue;
        }
        QPainterPath path(run[0]);
        for (qsizetype i = 1; i < run.size(); ++i)
            path.lineTo(run[i]);
        painter.strokePath(path, pen);
    }
    painter.restore();
}

// ---- image layers ----

void ScreenshotRenderer::drawImageLayer(QPainter& painter, const Annotation& annotation)
{
    const SharedImage& image = annotation.embeddedImage;
    if (!image || image->isNull())
        throw TarnwickError::message(QStringLiteral("Не удалось прочитать вставленное изображение."));
    const QRectF bounds(0, 0, image->width(), image->height());
    QRectF source = annotation.imageCrop ? geo::integral(geo::standardized(*annotation.imageCrop)) : bounds;
    source = geo::intersection(source, bounds);
    if (geo::isEmpty(source))
        throw TarnwickError::message(QStringLiteral("Область вставленного изображения пуста."));
    if (!annotation.isFinite())
        return;

    const QRectF rect = annotation.rect();
    const double radius =
        std::min(std::max(annotation.imageCornerRadius, 0.0), std::min(rect.width(), rect.height()) / 2);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (radius > 0) {
        QPainterPath clip;
        clip.addRoundedRect(rect, radius, radius);
        painter.setClipPath(clip, Qt::IntersectClip);
    }
    // Mirrored after the clip, so rounded corners stay where they are.
    if (annotation.imageFlippedHorizontally) {
        painter.translate(rect.left() + rect.right(), 0);
        painter.scale(-1, 1);
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(rect, *image, source);
    painter.restore();
}

} // namespace tarnwick
