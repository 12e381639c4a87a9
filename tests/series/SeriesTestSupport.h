#pragma once

#include "series/Screenshot.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>

namespace tarnwick::test {

// A shot of a flat colour with the given comments, all inside the image.
inline Screenshot shotWithComments(const QStringList& comments, QColor color = Qt::gray, QSize size = {64, 48})
{
    Screenshot shot;
    shot.id = QUuid::createUuid();
    shot.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    shot.image.fill(color);
    shot.pixelSize = size;
    shot.canvasRect = QRectF(QPointF(), QSizeF(size));
    int y = 4;
    for (const QString& text : comments) {
        Annotation comment;
        comment.id = QUuid::createUuid();
        comment.kind = AnnotationTool::comment;
        comment.start = comment.end = QPointF(4, y++);
        comment.text = text;
        shot.annotations << comment;
    }
    return shot;
}

// Stands in for output rendering: the shot's own picture with a stripe whose
// width tells the label and markers apart, so tests can see which shot went where.
inline QImage stripeRenderer(const Screenshot& shot, const QString& label, bool showMarkers)
{
    QImage out = shot.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    const int stripe = label.isEmpty() ? 0 : (label.at(0).unicode() - u'A' + 1) * 2 + (showMarkers ? 1 : 0);
    painter.fillRect(QRect(0, 0, stripe, 2), Qt::black);
    return out;
}

} // namespace tarnwick::test
