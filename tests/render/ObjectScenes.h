#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

// Synthetic scenes whose right answer is plain to see.
namespace scenes {

inline QImage flat(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

inline void disc(QImage& image, QPointF centre, double radius, QColor colour)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(centre, radius, radius);
}

// An ellipse filled with a many-coloured pattern of small tiles.
inline void texturedEllipse(QImage& image, const QRectF& box, int tile)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addEllipse(box);
    painter.setClipPath(path);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(20, 200);
    for (int y = static_cast<int>(box.top()); y < box.bottom(); y += tile)
        for (int x = static_cast<int>(box.left()); x < box.right(); x += tile)
            painter.fillRect(QRect(x, y, tile, tile), QColor(channel(random), channel(random), channel(random)));
}

// The image with bytes R, G, B, A, premultiplied, as the effects store them.
inline QImage asRgba(const QImage& image) { return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied); }

// Four bytes of a pixel of an asRgba image.
inline uint32_t rgba(const QImage& image, int x, int y)
{
    uint32_t value;
    std::memcpy(&value, image.constScanLine(y) + 4 * x, 4);
    return value;
}

inline uint32_t rgba(QColor colour)
{
    QImage one(1, 1, QImage::Format_RGBA8888_Premultiplied);
    one.fill(colour);
    return rgba(one, 0, 0);
}

inline double distanceTo(QPointF a, QPointF b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

} // namespace scenes

#include <QString>
#include <ostream>

