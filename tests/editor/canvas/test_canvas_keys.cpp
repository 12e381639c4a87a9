#include "CanvasTestSupport.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>

namespace tarnwick::test {
namespace {

using CanvasKeys = TenFold;

TEST_F(CanvasKeys, EscapeDropsTheGestureButKeepsSpacePanning)
{
    state->setTool(AnnotationTool::arrow);
    QTest::keyPress(canvas.get(), Qt::Key_Space, Qt::ShiftModifier); // Shift+Space pans like Space
    EXPECT_TRUE(canvas->spaceDown());
    QTest::keyRelease(canvas.get(), Qt::Key_Space);
    EXPECT_FALSE(canvas->spaceDown());

    QTest::mousePress(canvas.get(), Qt::LeftButton, {}, at(2, 2));
    QTest::mouseMove(canvas.get(), at(20, 10));
    ASSERT_TRUE(canvas->draft());
    QTest::keyClick(canvas.get(), Qt::Key_Escape);
    EXPECT_FALSE(canvas->draft());
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, at(20, 10));
    EXPECT_TRUE(state->annotations().isEmpty());
}

TEST_F(CanvasKeys, CropKeysZoomKeysPassedOnKeysAndPaste)
{
    state->setTool(AnnotationTool::crop);
    state->cropping().select(QRectF(10, 5, 20, 10));
    QTest::keyClick(canvas.get(), Qt::Key_Delete);
    EXPECT_FALSE(state->cropping().pending());
    state->cropping().select(QRectF(10, 5, 20, 10));
    QTest::keyClick(canvas.get(), Qt::Key_Return);
    EXPECT_EQ(state->cropRect(), QRectF(10, 5, 20, 10));

    QTest::keyClick(canvas.get(), Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(state->navigation().zoom, 2);
    QTest::keyClick(canvas.get(), Qt::Key_Minus, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(canvas.get(), Qt::Key_Equal, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(state->navigation().zoom, 2);
    QTest::keyClick(canvas.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(state->navigation().zoom, 1);

    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_1, Qt::ShiftModifier, QStringLiteral("!"));
    QCoreApplication::sendEvent(canvas.get(), &shifted);
    EXPECT_FALSE(shifted.isAccepted());
    EXPECT_EQ(state->tool(), AnnotationTool::crop);

    // Ctrl+Shift+V pastes the clipboard's image as a layer.
    QImage picture(10, 10, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    QTest::keyClick(canvas.get(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(state->annotations().size(), 1);
    EXPECT_EQ(state->annotations()[0].kind, AnnotationTool::image);
}

TEST_F(CanvasKeys, PickingTakesOnlyEscapeAndTabReadsTheColourFirst)
{
    state->add(element(AnnotationTool::arrow, {5, 5}, {15, 5}, 2), false);
    const auto selected = state->selectedID();
    state->style().setPickingColor(true);
    QTest::keyClick(canvas.get(), Qt::Key_Delete);
    QTest::keyClick(canvas.get(), Qt::Key_3);
    EXPECT_EQ(state->annotations().size(), 1);
    QTest::keyClick(canvas.get(), Qt::Key_Escape);
    EXPECT_FALSE(state->style().pickingColor());
    EXPECT_EQ(state->selectedID(), selected);

    QSignalSpy copy(canvas.get(), &ImageCanvasView::copyColorAndCloseRequested);
    state->images().setCapturing(true); // the read-out waits while an area is captured
    QTest::mouseMove(canvas.get(), at(30, 15));
    EXPECT_FALSE(state->cursorColor().sample());
    state->images().setCapturing(false);
    QTest::keyClick(canvas.get(), Qt::Key_Tab);
    EXPECT_EQ(copy.count(), 1);
    EXPECT_EQ(state->cursorColor().code(), QStringLiteral("#285AA0"));
}

// A screen reader meets the canvas as the picture of the shot, by the shot's name.
TEST_F(CanvasKeys, AssistiveTechnologyMeetsThePictureOfTheShot)
{
    QAccessibleInterface* canvasFace = QAccessible::queryAccessibleInterface(canvas.get());
    ASSERT_TRUE(canvasFace);
    EXPECT_EQ(canvasFace->role(), QAccessible::Graphic);
    EXPECT_EQ(canvasFace->text(QAccessible::Name), QStringLiteral("Снимок ") + state->label() + QStringLiteral(", область разметки"));
    EXPECT_TRUE(canvasFace->state().focusable) << "its keys reach it";
}

} // namespace
} // namespace tarnwick::test
