#pragma once

#include "editor/canvas/ImageCanvasView.h"

#include <QColor>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace tarnwick::test {

// A 200 × 100 shot on a 400 × 300 canvas: the image lands at (28, 64), 1.72 view
// points per pixel, so view = (28 + 1.72 x, 64 + 1.72 y).
struct CanvasFixture : ::testing::Test {
    static constexpr double scale = 1.72;
    static constexpr QPointF origin{28, 64};

    explicit CanvasFixture(QImage image = {})
    {
        if (image.isNull()) {
            image = QImage(200, 100, QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor(40, 90, 160));
        }
        state = std::make_unique<EditorState>(Screenshot::make(image, 1), QStringLiteral("A"));
        canvas = std::make_unique<ImageCanvasView>(*state);
        canvas->setFixedSize(400, 300);
        canvas->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(canvas.get()));
    }

    static QPoint view(QPointF pixel) { return (origin + pixel * scale).toPoint(); }
    static QPointF viewF(QPointF pixel) { return origin + pixel * scale; }
    QColor pixelAt(QPoint p) const { return canvas->grab().toImage().pixelColor(p); }

    std::unique_ptr<EditorState> state;
    std::unique_ptr<ImageCanvasView> canvas;
};

inline Annotation element(AnnotationTool kind, QPointF start, QPointF end, double strokeWidth = 0)
{
    Annotation a = freshAnnotation(kind, start);
    a.end = end;
    a.strokeWidth = strokeWidth;
    return a;
}

inline void expectColor(const QColor& actual, const QColor& expected, int tolerance = 2)
{
    EXPECT_NEAR(actual.red(), expected.red(), tolerance) << "red";
    EXPECT_NEAR(actual.green(), expected.green(), tolerance) << "green";
    EXPECT_NEAR(actual.blue(), expected.blue(), tolerance) << "blue";
}

} // namespace tarnwick::test
