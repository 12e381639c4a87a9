#pragma once

#include "editor/model/EditorState.h"

#include <QColor>
#include <QCoreApplication>
#include <QImage>

namespace tarnwick::test {

inline QImage picture(int width, int height, QColor color = QColor(40, 90, 160))
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

inline Screenshot shotOf(int width, int height) { return Screenshot::make(picture(width, height), 1); }

inline Annotation element(AnnotationTool kind, QPointF start, QPointF end, double strokeWidth = 0)
{
    Annotation a = freshAnnotation(kind, start);
    a.end = end;
    a.strokeWidth = strokeWidth;
    return a;
}

// The document as undo and redo must restore it.
struct Document {
    QVector<Annotation> annotations;
    std::optional<QRectF> crop, basis;
    QRectF canvas;
    qint64 image;
    bool operator==(const Document&) const = default;
};

inline Document documentOf(const EditorState& state)
{
    return {state.annotations(), state.cropRect(), state.cropBasisRect(), state.canvasRect(), state.shot().image.cacheKey()};
}

} // namespace tarnwick::test
