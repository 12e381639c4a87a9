// Text, badges, highlighter strokes and image layers.

#include "render/CanvasLabel.h"
#include "render/DrawingSupport.h"
#include "render/ScreenshotRenderer.h"
#include "series/Geometry.h"
#include "series/TarnwickError.h"
#include "series/TextBlock.h"

#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/imgproc.hpp>

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

// The outlines of every glyph of one laid-out line, in layout coordinates.
QPainterPath glyphOutlines(const QTextLine& line)
{
    QPainterPath path;
    const QList<QGlyphRun> runs = line.glyphRuns();
    for (const QGlyphRun& run : runs) {
        const QRawFont font = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i)
            path.addPath(font.pathForGlyph(glyphs[i]).translated(positions[i]));
    }
    return path;
}

struct TextPass {
    const QTextLayout& layout;
    double obliqueness;
    double boldStroke; // 0 = no imitated bold

    void paint(QPainter& painter, const QPointF& origin, const QColor& color) const
    {
        painter.setPen(color);
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            const double baseline = line.y() + line.ascent();
            painter.save();
            // Shear about the line's baseline, leaning the tops to the right.
            painter.translate(origin.x(), origin.y() + baseline);
            if (obliqueness != 0)
                painter.shear(-obliqueness, 0);
            line.draw(&painter, QPointF(0, -baseline));
            if (boldStroke > 0) {
                painter.setBrush(Qt::NoBrush);
                painter.setPen(QPen(color, boldStroke, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
                painter.drawPath(glyphOutlines(line).translated(0, -baseline));
            }
            painter.restore();
        }
    }
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
    const TextBlock block(annotation.text, font, rect.width());
    const double fontSize = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
    const TextPass pass{block.layout(), attributes.obliqueness, attributes.syntheticBold ? 0.02 * fontSize : 0};

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

// A soft shadow of a shape: black at 22 %, Gaussian blur of the given radius.
void drawShadow(QPainter& painter, const QPainterPath& shape, double blurRadius, const QPointF& offset)
{
    const double sigma = blurRadius / 2;
    const int pad = static_cast<int>(std::ceil(3 * sigma)) + 2;
    const QRectF bounds = shape.boundingRect();
    const QPointF origin(std::floor(bounds.left()) - pad, std::floor(bounds.top()) - pad);
    const int w = static_cast<int>(std::ceil(bounds.right() - origin.x())) + pad;
    const int h = static_cast<int>(std::ceil(bounds.bottom() - origin.y())) + pad;
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096)
        return;
    QImage mask(w, h, QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull())
        return;
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(-origin);
        p.fillPath(shape, QColor::fromRgbF(0, 0, 0, 0.22f));
    }
    if (sigma > 0) {
        cv::Mat pixels(h, w, CV_8UC4, mask.bits(), static_cast<std::size_t>(mask.bytesPerLine()));
        cv::GaussianBlur(pixels, pixels, cv::Size(0, 0), sigma, sigma, cv::BORDER_CONSTANT);
    }
    painter.drawImage(origin + offset, mask);
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
    // The shadow offset is one pixel upwards, as the platform's shadows lie in y-up space.
    drawShadow(painter, shape, d / 6, QPointF(0, -1));
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
