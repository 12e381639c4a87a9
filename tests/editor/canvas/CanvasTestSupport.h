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

    explicit CanvasFixture(QImage image = {}, QSize viewSize = QSize(400, 300))
    {
        if (image.isNull())
            image = filled(200, 100);
        state = std::make_unique<EditorState>(Screenshot::make(image, 1), QStringLiteral("A"));
        canvas = std::make_unique<ImageCanvasView>(*state);
        canvas->setFixedSize(viewSize);
        canvas->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(canvas.get()));
    }

    static QImage filled(int width, int height)
    {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(40, 90, 160));
        return image;
    }

    static QPoint view(QPointF pixel) { return (origin + pixel * scale).toPoint(); }
    static QPointF viewF(QPointF pixel) { return origin + pixel * scale; }
    QColor pixelAt(QPoint p) const { return canvas->grab().toImage().pixelColor(p); }

    std::unique_ptr<EditorState> state;
    std::unique_ptr<ImageCanvasView> canvas;
};

// A 40 × 20 shot at ten view points per pixel: view = (28 + 10 x, 28 + 10 y).
struct TenFold : CanvasFixture {
    TenFold() : CanvasFixture(filled(40, 20), QSize(456, 256)) {}
    static QPoint at(double x, double y) { return QPointF(28 + 10 * x, 28 + 10 * y).toPoint(); }
    void dragFrom(QPoint from, std::initializer_list<QPoint> path, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(canvas.get(), Qt::LeftButton, mods, from);
        for (QPoint p : path)
            QTest::mouseMove(canvas.get(), p);
        QTest::mouseRelease(canvas.get(), Qt::LeftButton, mods, path.size() ? *(path.end() - 1) : from);
    }
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
