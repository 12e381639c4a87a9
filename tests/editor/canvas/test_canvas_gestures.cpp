#include "CanvasTestSupport.h"

#include "editor/canvas/CanvasHitTest.h"

namespace tarnwick::test {
namespace {

using CanvasGestures = TenFold;

TEST_F(CanvasGestures, WholeDragIsOneUndoStepASelectingClickIsNoneAndADeletedElementLeavesNoGhost)
{
    state->add(element(AnnotationTool::arrow, {5, 5}, {15, 5}, 2), false);
    state->setTool(AnnotationTool::select);
    const int revision = state->historyRevision();

    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, at(10, 5));
    EXPECT_EQ(state->selectedID(), state->annotations()[0].id);
    EXPECT_EQ(state->historyRevision(), revision);

    dragFrom(at(7, 5), {at(8, 5), at(9, 6), at(10, 7)}); // clear of the middle handle
    EXPECT_EQ(state->historyRevision(), revision + 1);
    EXPECT_EQ(state->annotations()[0].start, QPointF(8, 7));
    state->undo();
    EXPECT_EQ(state->annotations()[0].start, QPointF(5, 5));

    // An element deleted during its drag leaves no ghost.
    state->remove(state->annotations()[0].id);
    Annotation bar = element(AnnotationTool::rectangle, {5, 5}, {15, 15}, 3);
    bar.colorIndex = 4; // white
    state->add(bar, false);
    state->setTool(AnnotationTool::select);
    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, at(5, 7)); // the edge, clear of the handles
    QTest::mouseMove(canvas.get(), at(25, 7));
    expectColor(pixelAt(at(25, 7)), Qt::white, 40);
    QTest::keyClick(canvas.get(), Qt::Key_Delete);
    expectColor(pixelAt(at(25, 7)), QColor(40, 90, 160));
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, at(25, 7));
    EXPECT_TRUE(state->annotations().isEmpty());
}

TEST_F(CanvasGestures, ArrowsOfFivePixelsOrLessAreClicksAndCtrlDuringAPencilStrokeDrawsAnAxisAlignedSegment)
{
    state->setTool(AnnotationTool::arrow);
    dragFrom(at(2, 2), {at(5, 2), at(7, 2)});
    EXPECT_TRUE(state->annotations().isEmpty());
    dragFrom(at(2, 2), {QPoint(48 + 51, 48)});
    ASSERT_EQ(state->annotations().size(), 1);
    EXPECT_EQ(state->annotations()[0].end, QPointF(7.1, 2));
    state->remove(state->annotations()[0].id);

    state->setTool(AnnotationTool::pencil);
    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, at(5, 5));
    QTest::mouseMove(canvas.get(), at(8, 6));
    QTest::mouseEvent(QTest::MouseMove, canvas.get(), Qt::NoButton, Qt::ControlModifier, at(12, 7));
    QTest::mouseEvent(QTest::MouseMove, canvas.get(), Qt::NoButton, Qt::ControlModifier, at(20, 8));
    ASSERT_TRUE(canvas->draft());
    EXPECT_EQ(canvas->draft()->points, (QVector<QPointF>{{5, 5}, {8, 6}, {20, 6}}));
    // Ctrl up: drawing goes on freehand from the segment's end.
    QTest::mouseMove(canvas.get(), at(21, 9));
    EXPECT_EQ(canvas->draft()->points.back(), QPointF(21, 9));
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, at(21, 9));
    ASSERT_EQ(state->annotations().size(), 1);
    EXPECT_EQ(state->annotations()[0].kind, AnnotationTool::pencil);
}

TEST_F(CanvasGestures, QrAreaIsAnOverlayPendingCropStopsAtTheViewportAndElementsMoveFreelyGrowingTheCanvas)
{
    state->setTool(AnnotationTool::qr);
    QRectF chosen;
    QObject::connect(canvas.get(), &ImageCanvasView::recognizeQRRequested, [&](const QRectF& r) { chosen = r; });
    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, at(10, 5));
    QTest::mouseMove(canvas.get(), at(30, 15));
    const QImage shot = canvas->grab().toImage();
    expectColor(shot.pixelColor(at(20, 10)), QColor(40, 90, 160));
    expectColor(shot.pixelColor(at(5, 2)), QColor(26, 58, 104)); // black at 35 %
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, at(30, 15));
    EXPECT_EQ(chosen, QRectF(10, 5, 20, 10));
    EXPECT_TRUE(state->annotations().isEmpty());

    state->setTool(AnnotationTool::crop);
    dragFrom(at(10, 5), {at(20, 10), at(30, 15)});
    ASSERT_TRUE(state->cropping().pending());
    EXPECT_EQ(state->cropping().pending()->rect(), QRectF(10, 5, 20, 10));
    dragFrom(at(20, 10), {at(30, 10), at(39, 12)});
    EXPECT_EQ(state->cropping().pending()->rect(), QRectF(20, 7, 20, 10));
    state->cropping().cancel();

    state->add(element(AnnotationTool::rectangle, {30, 5}, {38, 15}, 2), false);
    state->setTool(AnnotationTool::select);
    dragFrom(at(34, 10), {at(40, 10), at(46, 10)});
    EXPECT_EQ(state->annotations()[0].rect(), QRectF(42, 5, 8, 10));
    EXPECT_GE(state->canvasRect().right(), 50);
}

TEST(CanvasHits, TolerancesAndOrder)
{
    const double k = 0.5; // pixels per view point
    const QSizeF size(600, 400);
    const QRectF visible(0, 0, 600, 400);
    Annotation pencil = element(AnnotationTool::pencil, {0, 100}, {200, 100}, 4);
    pencil.points = {{0, 100}, {200, 100}};
    const double reach = 9 * k + 2; // t + w/2
    EXPECT_TRUE(canvasHits::hitTest({pencil}, {100, 100 + reach - 0.01}, k, size, visible));
    EXPECT_FALSE(canvasHits::hitTest({pencil}, {100, 100 + reach}, k, size, visible));

    const Annotation box = element(AnnotationTool::rectangle, {300, 100}, {400, 200}, 4);
    const Annotation comment = element(AnnotationTool::comment, {350, 150}, {350, 150});
    const Annotation blur = element(AnnotationTool::blur, {320, 120}, {380, 180});
    EXPECT_EQ(canvasHits::hitTest({comment, box}, {350, 150}, k, size, visible)->id, comment.id);
    EXPECT_EQ(canvasHits::hitTest({box, blur}, {350, 150}, k, size, visible)->id, blur.id);
    // The comment marker is 44 pixels wide here: hit at exactly t + D/2.
    EXPECT_TRUE(canvasHits::hitTest({comment}, {350 + 4.5 + 22, 150}, k, size, visible));

    const Annotation arrow = element(AnnotationTool::arrow, {100, 300}, {200, 300}, 2);
    EXPECT_EQ(canvasHits::handleAt(arrow, {100, 300 + 10 * k}, k), AnnotationHandle::start);
    EXPECT_FALSE(canvasHits::handleAt(arrow, {100, 300 + 10.5 * k}, k));
    EXPECT_EQ(canvasHits::snapped({10, 3}, {0, 0}), QPointF(10, 0));
    EXPECT_EQ(canvasHits::snapped({3, 10}, {0, 0}), QPointF(0, 10));
}

} // namespace
} // namespace tarnwick::test
