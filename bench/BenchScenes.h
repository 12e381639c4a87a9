#pragma once

#include "series/Annotation.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QUuid>

namespace tarnwick::bench {

// A 5120 × 2880 shot (a 5K screen): lines of text on a light ground and one
// coloured panel, made once per format.
inline QImage textShot(QImage::Format format)
{
    QImage canvas(5120, 2880, format);
    canvas.fill(QColor(246, 246, 243));
    QPainter painter(&canvas);
    QFont font = painter.font();
    font.setPixelSize(28);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    for (int y = 40; y < 2880; y += 44)
        painter.drawText(40, y, QStringLiteral("Счёт № 4711 — оплатить до пятницы, пароль hunter2, итого 12 345,67 ₽ ").repeated(3));
    painter.fillRect(QRect(2000, 1000, 900, 500), QColor(40, 110, 200));
    return canvas;
}

inline Annotation element(AnnotationTool kind, QPointF start, QPointF end, double strokeWidth = 0, double fontSize = 32)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = start;
    a.end = end;
    a.strokeWidth = strokeWidth;
    a.fontSize = fontSize;
    return a;
}

} // namespace tarnwick::bench
