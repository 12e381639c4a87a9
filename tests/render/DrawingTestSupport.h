#pragma once

// Helpers for drawing tests: blank canvases, element builders and pixel measures.

#include "render/ScreenshotRenderer.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QUuid>
#include <functional>
#include <map>
#include <optional>

namespace tarnwick::testing {

inline QImage canvas(int width, int height, QColor fill = Qt::white)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

inline Annotation element(AnnotationTool kind, QPointF start = {}, QPointF end = {})
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = start;
    a.end = end;
    a.fontSize = 24;
    return a;
}

inline SharedImage solidImage(int width, int height, QColor color)
{
    auto image = std::make_shared<QImage>(width, height, QImage::Format_ARGB32_Premultiplied);
    image->fill(color);
    return image;
}

// Runs fn with a painter on target.
inline void paint(QImage& target, const std::function<void(QPainter&)>& fn)
{
    QPainter painter(&target);
    fn(painter);
}

// draw() of the arguments on a copy of target.
inline QImage drawn(const QImage& target, const ScreenshotRenderer::DrawArguments& arguments)
{
    QImage out = target.copy();
    QPainter painter(&out);
    ScreenshotRenderer::draw(painter, arguments);
    return out;
}

// Arguments drawing the annotations over a picture of the given size.
inline ScreenshotRenderer::DrawArguments arguments(const QImage& picture, QVector<Annotation> annotations)
{
    ScreenshotRenderer::DrawArguments a;
    a.image = picture;
    a.size = picture.size();
    a.annotations = std::move(annotations);
    return a;
}

// Bounding box of the pixels that satisfy the predicate; empty when none does.
inline QRect boundsWhere(const QImage& image, const std::function<bool(QRgb)>& predicate, QRect area = {})
{
    if (area.isNull())
        area = image.rect();
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (predicate(image.pixel(x, y))) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
    return x1 < x0 ? QRect() : QRect(QPoint(x0, y0), QPoint(x1, y1));
}

inline int countWhere(const QImage& image, const std::function<bool(QRgb)>& predicate, QRect area = {})
{
    if (area.isNull())
        area = image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += predicate(image.pixel(x, y)) ? 1 : 0;
    return n;
}

inline bool near(QRgb pixel, QColor color, int tolerance = 12)
{
    return std::abs(qRed(pixel) - color.red()) <= tolerance && std::abs(qGreen(pixel) - color.green()) <= tolerance
        && std::abs(qBlue(pixel) - color.blue()) <= tolerance && std::abs(qAlpha(pixel) - color.alpha()) <= tolerance;
}

inline bool dark(QRgb pixel) { return qAlpha(pixel) > 128 && qGray(pixel) < 100; }
inline bool notWhite(QRgb pixel) { return qGray(pixel) < 235 || qAlpha(pixel) < 235; }

// Lengths of the alternating runs along a row where the predicate holds and fails,
// from the first pixel that holds.
inline std::pair<std::vector<int>, std::vector<int>> runsAlongRow(const QImage& image, int y, int x0, int x1,
                                                                   const std::function<bool(QRgb)>& on)
{
    std::vector<int> onRuns, offRuns;
    int x = x0;
    while (x <= x1 && !on(image.pixel(x, y)))
        ++x;
    while (x <= x1) {
        const bool state = on(image.pixel(x, y));
        int start = x;
        while (x <= x1 && on(image.pixel(x, y)) == state)
            ++x;
        if (x > x1)
            break; // the last run may be cut by the window
        (state ? onRuns : offRuns).push_back(x - start);
    }
    return {onRuns, offRuns};
}

// A stand-in effect engine: results per element id; a missing id is pending.
class FakeEffects : public EffectLookup {
public:
    std::optional<EffectResult> cached(const Annotation& annotation) override
    {
        ++lookups;
        auto it = results.find(annotation.id);
        if (it == results.end())
            return std::nullopt;
        return it->second;
    }
    std::map<QUuid, EffectResult> results;
    int lookups = 0;
};

} // namespace tarnwick::testing
