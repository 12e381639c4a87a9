#include "editor/tools/DoubleSlider.h"
#include "editor/tools/EditorImageCornerControl.h"
#include "editor/tools/EditorSupplementalControls.h"
#include "editor/tools/EditorToolDetails.h"
#include "ToolsTestSupport.h"

#include <QPushButton>
#include <gtest/gtest.h>

using namespace tarnwick;
using T = AnnotationTool;

namespace {

QPushButton* button(QWidget& root, const QString& text)
{
    for (QPushButton* b : root.findChildren<QPushButton*>())
        if (b->text() == text && b->isVisibleTo(&root))
            return b;
    return nullptr;
}

} // namespace

TEST(ToolDetailsPanel, StrokeDragIsLiveAndOneUndoStepCornerDragClampsCropButtonsActThroughTheModel)
{
    EditorState state(test::shotOf(800, 500), QStringLiteral("A"));
    EditorToolDetails details(state);
    details.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&details));

    // The stroke slider of the panel: one drag, the width live under the pointer, one step.
    state.setTool(T::select);
    state.add(test::element(T::arrow, {10, 10}, {200, 200}, 3), false);
    test::settle();
    EXPECT_EQ(details.shownSections(), (QVector<DetailsSection>{DetailsSection::lineKind, DetailsSection::strokeWidth}));
    DoubleSlider& slider = *details.strokeSlider();
    double midDrag = 0;
    test::dragSlider(slider, slider.width() * 2 / 3, [&] { midDrag = state.selectedAnnotation()->strokeWidth; });
    EXPECT_GT(midDrag, 3);
    const double dragged = state.selectedAnnotation()->strokeWidth;
    EXPECT_GT(dragged, midDrag);
    EXPECT_EQ(dragged, std::round(dragged));
    state.undo();
    EXPECT_EQ(state.annotations().front().strokeWidth, 3);
    state.undo();
    EXPECT_TRUE(state.annotations().isEmpty()) << "the whole drag was one step";

    // The corner capsule of a 301 × 120 layer stops at 60 however far it is dragged.
    state.setTool(T::select);
    ASSERT_TRUE(state.images().add({test::picture(301, 120)}));
    test::settle();
    ASSERT_TRUE(details.shownSections().contains(DetailsSection::insertedImage));
    auto* corner = details.section(DetailsSection::insertedImage)->findChild<EditorImageCornerControl*>();
    test::dragSlider(*corner->slider(), corner->slider()->width() + 200);
    EXPECT_EQ(state.selectedAnnotation()->imageCornerRadius, 60);
    state.undo();
    ASSERT_EQ(state.annotations().size(), 1);
    EXPECT_EQ(state.annotations().front().imageCornerRadius, 0);
    // A drag cut short by the layer's deselection closes its step; the next drag is a step of its own.
    state.setSelectedID(state.annotations().front().id);
    test::settle();
    QTest::mousePress(corner->slider(), Qt::LeftButton, {}, QPoint(2, corner->slider()->height() / 2));
    QTest::mouseMove(corner->slider(), QPoint(corner->slider()->width() / 2, corner->slider()->height() / 2));
    const double cut = state.annotations().front().imageCornerRadius;
    ASSERT_GT(cut, 0);
    state.setSelectedID(std::nullopt);
    test::settle();
    QTest::mouseRelease(&details, Qt::LeftButton); // a hidden widget loses the grab: the release lands elsewhere
    state.setSelectedID(state.annotations().front().id);
    test::settle();
    test::dragSlider(*corner->slider(), corner->slider()->width() + 200);
    state.undo();
    EXPECT_EQ(state.annotations().front().imageCornerRadius, cut);

    // Crop: greyed without a selection, then applied and cancelled through the model.
    state.setTool(T::crop);
    test::settle();
    QPushButton* apply = button(details, QStringLiteral("Применить"));
    QPushButton* cancel = button(details, QStringLiteral("Отменить рамку"));
    ASSERT_TRUE(apply && cancel);
    EXPECT_FALSE(apply->isEnabled());
    state.cropping().select(QRectF(100, 100, 300, 200));
    test::settle();
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(state.cropping().pending());
    state.cropping().select(QRectF(100, 100, 300, 200));
    test::settle();
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_EQ(state.cropRect(), QRectF(100, 100, 300, 200));
    state.setTool(T::crop);
    test::settle();
    QTest::mouseClick(button(details, QStringLiteral("Вернуть весь снимок")), Qt::LeftButton);
    EXPECT_FALSE(state.cropRect());
    state.undo();
    EXPECT_EQ(state.cropRect(), QRectF(100, 100, 300, 200));
}

TEST(SupplementalStrip, KeyboardRunOnTheWidthSliderIsOneStepAndTheSliderFollowsTheHighlighterLimit)
{
    EditorState state(test::shotOf(800, 500), QStringLiteral("A"));
    EditorSupplementalControls strip(state);
    strip.show();
    state.style().activateExtraTool(ExtraToolKind::highlighter);
    test::settle();
    EXPECT_EQ(strip.strokeSlider()->maximum(), 120 * 100);
    state.setTool(T::select);
    state.add(test::element(T::arrow, {10, 10}, {200, 200}, 3), false);
    test::settle();
    EXPECT_EQ(strip.strokeSlider()->maximum(), 40 * 100);
    for (int i = 0; i < 3; ++i)
        QTest::keyPress(strip.strokeSlider(), Qt::Key_Right, {}, -1);
    QTest::keyRelease(strip.strokeSlider(), Qt::Key_Right);
    EXPECT_EQ(state.selectedAnnotation()->strokeWidth, 6);
    state.undo();
    EXPECT_EQ(state.annotations().front().strokeWidth, 3);
    state.undo();
    EXPECT_TRUE(state.annotations().isEmpty()) << "the key run was one step";
}


// Both mirror buttons of an inserted image show what they do: triangles either side of an
// upright axis, not above and below a level one.
TEST(ToolDetailsPanel, TheMirrorButtonsShowALeftRightMirror)
{
    EditorState state(test::shotOf(800, 500), QStringLiteral("A"));
    EditorToolDetails details(state);
    EditorSupplementalControls strip(state);
    state.setTool(T::select);
    ASSERT_TRUE(state.images().add({test::picture(200, 120)}));
    test::settle();
    QAbstractButton* flip = button(details, QStringLiteral("Отразить по горизонтали"));
    ASSERT_NE(flip, nullptr);
    QAbstractButton* mirror = nullptr;
    for (auto* b : strip.findChildren<QAbstractButton*>())
        mirror = b->accessibleName() == QStringLiteral("Отразить по горизонтали") ? b : mirror;
    ASSERT_NE(mirror, nullptr);
    for (QAbstractButton* b : {flip, mirror}) {
        const QImage picture = b->icon().pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(picture.isNull());
        // Ink in the outer thirds, across and along.
        double sides = 0, ends = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const double ink = qAlpha(picture.pixel(x, y)) / 255.0;
                const int column = x * 3 / picture.width(), row = y * 3 / picture.height();
                sides += column != 1 ? ink : 0;
                ends += row != 1 ? ink : 0;
            }
        EXPECT_GT(sides, 2 * ends) << b->metaObject()->className();
    }
}
