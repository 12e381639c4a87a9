#include "EditorTestSupport.h"

#include <QSignalSpy>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;
using T = AnnotationTool;

TEST(EditorHistory, StartsFromTheShotAndRestoresWholeDocuments)
{
    EditorState state(shotOf(1200, 800), QStringLiteral("A"));
    EXPECT_EQ(state.style().strokeWidth(), 4);
    EXPECT_EQ(state.style().highlighterWidth(), 24);
    EXPECT_EQ(state.tool(), T::arrow);
    EXPECT_EQ(state.style().colorIndex(), 1);
    EXPECT_FALSE(state.canUndo());
    EXPECT_FALSE(state.canRedo());

    const Document initial = documentOf(state);
    state.add(element(T::arrow, {-50.5, 100}, {300, 100}, 4), true);
    const Document grown = documentOf(state);
    state.cropping().cropTo(QRectF(0, 0, 500, 400));
    const Document cropped = documentOf(state);
    ASSERT_NE(grown, initial);
    ASSERT_NE(cropped, grown);

    const int revision = state.historyRevision();
    state.replace(state.annotations());
    EXPECT_EQ(state.historyRevision(), revision);

    QSignalSpy changes(&state, &EditorState::changed);
    state.undo();
    EXPECT_EQ(documentOf(state), grown);
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 1); // one coalesced notice for the whole restore
    state.undo();
    EXPECT_EQ(documentOf(state), initial);
    EXPECT_FALSE(state.canUndo());
    state.redo();
    state.redo();
    EXPECT_EQ(documentOf(state), cropped);
    EXPECT_EQ(state.shot().cropRect(), state.cropRect());

    state.undo();
    ASSERT_TRUE(state.canRedo());
    state.add(element(T::rectangle, {10, 10}, {50, 50}), false);
    EXPECT_FALSE(state.canRedo());

    // A pending selection is all that undo takes back, and redo waits for it.
    const Document before = documentOf(state);
    state.setTool(T::crop);
    state.cropping().select(QRectF(20, 20, 100, 100));
    ASSERT_TRUE(state.cropping().pending());
    EXPECT_FALSE(state.canExport());
    const int pendingRevision = state.historyRevision();
    state.undo();
    EXPECT_FALSE(state.cropping().pending());
    EXPECT_EQ(documentOf(state), before);
    EXPECT_EQ(state.historyRevision(), pendingRevision);
}

TEST(EditorHistory, AStrokeBracketIsOneStepOrNone)
{
    EditorState state(shotOf(600, 400), QStringLiteral("A"));
    state.add(element(T::arrow, {10, 10}, {200, 100}), false);
    const int revision = state.historyRevision();
    state.beginStrokeEdit();
    state.endStrokeEdit();
    EXPECT_EQ(state.historyRevision(), revision);

    state.beginStrokeEdit();
    for (double width : {10.0, 12.0, 14.0})
        state.style().setStrokeWidth(width);
    state.endStrokeEdit();
    EXPECT_EQ(state.annotations().first().strokeWidth, 14);
    state.undo();
    EXPECT_EQ(state.annotations().first().strokeWidth, 0);
    state.undo();
    EXPECT_TRUE(state.annotations().isEmpty());
    EXPECT_FALSE(state.canUndo());
}

TEST(EditorCanvas, GrowsByTrackedElementsOnlyAndShrinksBack)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    const QRectF image(0, 0, 1000, 800);
    state.add(element(T::arrow, {-900, 100}, {-700, 100}, 4), false);
    EXPECT_EQ(state.canvasRect(), image);

    // Stroke 4: the arrow's margin is max(3, 18, 14) = 18, rounded outward.
    const Annotation outside = element(T::arrow, {-50.5, 100}, {300, 100}, 4);
    state.add(outside, true);
    EXPECT_TRUE(geo::same(state.canvasRect(), QRectF(-69, 0, 1069, 800)));
    EXPECT_FALSE(state.cropRect());
    EXPECT_EQ(state.outputSize(), QSizeF(1069, 800));

    state.transform(outside.translated({100, 0}), true, true);
    EXPECT_TRUE(geo::same(state.canvasRect(), image));
    state.transform(outside, true, true);
    state.remove(outside.id);
    EXPECT_TRUE(geo::same(state.canvasRect(), image));

    const Annotation comment = element(T::comment, {500, 500}, {500, 500});
    EXPECT_EQ(state.canvasBounds(comment, QSizeF(3600, 100), true).width(), 100);
    EXPECT_EQ(state.canvasBounds(comment, QSizeF(720, 100), true).width(), 48);
}

TEST(EditorCanvas, ACropWidensOnlyForTrackedElementsSeenInIt)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    const QRectF basis(100, 100, 600, 500);
    state.cropping().cropTo(basis);
    const Annotation arrow = element(T::arrow, {650, 300}, {750, 300}, 4);
    state.add(arrow, true);
    EXPECT_TRUE(geo::same(*state.cropRect(), QRectF(100, 100, 668, 500)));
    EXPECT_EQ(state.shot().cropRect(), state.cropRect());
    state.transform(arrow.translated({-300, 0}), true, true);
    EXPECT_TRUE(geo::same(*state.cropRect(), basis));

    // A magnifier is tracked once transformed, but one outside the crop is not seen there.
    const Annotation lens = element(T::magnifier, {850, 650}, {950, 750}, 4);
    state.add(lens, false);
    state.transform(lens.translated({10, 10}), false, true);
    EXPECT_TRUE(state.annotations().last().canvasTracked);
    EXPECT_TRUE(geo::same(*state.cropRect(), basis));
}

TEST(EditorCrop, StepsSelectionsAndLayerCrops)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    state.cropping().cropTo(QRectF(100, 100, 600, 500));
    const int revision = state.historyRevision();
    state.cropping().cropTo(QRectF(100, 100, 600, 500));
    EXPECT_EQ(state.historyRevision(), revision);

    state.cropping().select(QRectF(150, 150, 100, 100));
    const Annotation selection = *state.cropping().pending();
    state.cropping().select(QRectF(300, 300, 3, 100));
    EXPECT_EQ(*state.cropping().pending(), selection);
    state.cropping().cancel();
    state.undo();

    // Cropping a layer's left half keeps the left of its picture, or, mirrored, the right.
    for (bool flipped : {false, true}) {
        EditorState layers(shotOf(1000, 800), QStringLiteral("A"));
        ASSERT_TRUE(layers.images().add({picture(100, 50)}));
        const QUuid id = *layers.selectedID();
        if (flipped)
            layers.images().flipSelectedHorizontally();
        layers.cropping().beginOnSelectedLayer();
        EXPECT_EQ(layers.tool(), T::crop);
        layers.cropping().select(QRectF(450, 375, 50, 50));
        const int before = layers.historyRevision();
        layers.cropping().apply();
        const Annotation layer = *layers.selectedAnnotation();
        EXPECT_EQ(layer.id, id);
        EXPECT_EQ(layers.tool(), T::select);
        EXPECT_EQ(layer.imageCrop, QRectF(flipped ? 50 : 0, 0, 50, 50)) << flipped;
        EXPECT_EQ(layer.rect(), QRectF(450, 375, 50, 50));
        EXPECT_EQ(layers.historyRevision(), before + 1);
    }
}

TEST(EditorCrop, ASelectionLeftUnderFourPixelsByTheViewportOnlyCancels)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    ASSERT_TRUE(state.images().add({picture(100, 50)}));
    const Annotation layer = *state.selectedAnnotation();
    state.cropping().beginOnSelectedLayer();
    ASSERT_TRUE(state.cropping().pending());
    // The visible area moves so that only 2 px of the layer remain in view.
    state.setCropRect(QRectF(548, 0, 452, 800));
    const int revision = state.historyRevision();
    state.cropping().apply();
    EXPECT_FALSE(state.cropping().pending());
    EXPECT_EQ(state.annotations().last(), layer);
    EXPECT_EQ(state.historyRevision(), revision);
    EXPECT_EQ(state.tool(), T::select);
    EXPECT_EQ(state.selectedID(), layer.id);
}

TEST(EditorTools, SelectionStyleColoursAndStrokeLimits)
{
    EditorState state(shotOf(900, 600), QStringLiteral("A"));
    state.add(element(T::arrow, {10, 10}, {200, 100}), false);
    const QUuid id = *state.selectedID();
    EXPECT_EQ(state.style().colorIndex(), 0); // the element's colour shows
    EXPECT_EQ(state.style().drawingColorIndex(), 1);
    EXPECT_EQ(state.style().strokeWidth(), 3);

    state.setTool(T::select);
    EXPECT_EQ(state.selectedID(), id);
    state.setTool(T::rectangle);
    EXPECT_FALSE(state.selectedID());
    EXPECT_EQ(state.style().colorIndex(), 1);

    state.setTool(T::select);
    state.setSelectedID(id);
    const int revision = state.historyRevision();
    state.style().setColor(4);
    EXPECT_EQ(state.annotations().first().colorIndex, 4);
    EXPECT_EQ(state.historyRevision(), revision + 1);
    EXPECT_EQ(state.style().drawingColorIndex(), 4);

    struct Case {
        std::optional<ExtraToolKind> extra;
        double asked, width;
    } cases[] = {{std::nullopt, 200, 40}, {std::nullopt, 0, 1}, {ExtraToolKind::highlighter, 200, 120}};
    for (const Case& c : cases) {
        state.setSelectedID(std::nullopt);
        state.setTool(T::arrow);
        if (c.extra)
            state.style().activateExtraTool(*c.extra);
        state.style().setStrokeWidth(c.asked);
        EXPECT_EQ(state.style().displayedStrokeWidth(), c.width) << c.asked;
    }
}

TEST(EditorTools, AKindChangesOnlyASelectionThatTakesIt)
{
    EditorState state(shotOf(900, 600), QStringLiteral("A"));
    QVector<QUuid> ids;
    for (const T kind : {T::rectangle, T::arrow, T::blur, T::ruler}) {
        state.add(element(kind, {10, 10}, {200, 100}), false);
        ids.append(*state.selectedID());
    }
    struct Case {
        const char* name;
        QUuid owner;
        std::function<void(EditorStyle&)> set;
        std::function<bool(const Annotation&)> took;
        std::function<bool(const EditorStyle&)> shown;
    };
    const Case cases[] = {
        {"shape", ids[0], [](EditorStyle& s) { s.setShape(ShapeKind::ellipse); },
         [](const Annotation& a) { return a.kind == T::ellipse; },
         [](const EditorStyle& s) { return s.shape() == ShapeKind::ellipse; }},
        {"line", ids[1], [](EditorStyle& s) { s.setLineKind(LineKind::length); },
         [](const Annotation& a) { return a.kind == T::length; },
         [](const EditorStyle& s) { return s.lineKind() == LineKind::length; }},
        {"blur", ids[2], [](EditorStyle& s) { s.setBlurMode(BlurMode::objectPixelate); },
         [](const Annotation& a) { return a.blurMode == BlurMode::objectPixelate; },
         [](const EditorStyle& s) { return s.blurMode() == BlurMode::objectPixelate; }},
        {"ruler", ids[3], [](EditorStyle& s) { s.setRulerUnit(RulerUnit::pt); },
         [](const Annotation& a) { return a.rulerUnit == RulerUnit::pt; },
         [](const EditorStyle& s) { return s.rulerUnit() == RulerUnit::pt; }},
    };
    state.setTool(T::select);
    for (const Case& c : cases) {
        for (const QUuid& id : ids) {
            state.setSelectedID(id);
            const QVector<Annotation> before = state.annotations();
            const int revision = state.historyRevision();
            c.set(state.style());
            EXPECT_TRUE(c.shown(state.style())) << c.name;
            if (id != c.owner) {
                EXPECT_EQ(state.annotations(), before) << c.name;
                EXPECT_EQ(state.historyRevision(), revision) << c.name;
                continue;
            }
            const auto changed = std::find_if(state.annotations().begin(), state.annotations().end(),
                                              [&](const Annotation& a) { return a.id == id; });
            ASSERT_NE(changed, state.annotations().end()) << c.name;
            EXPECT_TRUE(c.took(*changed)) << c.name;
            EXPECT_EQ(state.historyRevision(), revision + 1) << c.name;
        }
    }
}

TEST(EditorDrafts, CommentsAndTexts)
{
    EditorState state(shotOf(1000, 800), QStringLiteral("A"));
    state.comment().request({100, 100}, std::nullopt);
    state.comment().setText(QStringLiteral("  \n\t "));
    state.comment().save();
    EXPECT_TRUE(state.annotations().isEmpty());
    EXPECT_TRUE(state.comment().isOpen());
    EXPECT_FALSE(state.canUndo());

    for (auto [width, size] : {std::pair{1000, 25.0}, {600, 24.0}, {4000, 72.0}}) {
        EditorState sized(shotOf(width, 300), QStringLiteral("A"));
        sized.text().request({10, 10}, std::nullopt);
        EXPECT_EQ(sized.text().fontSize(), size) << width;
    }

    // Started 10 px from the right edge: wraps at four font sizes less one and moves left.
    state.text().request({990, 100}, std::nullopt);
    state.text().setFontSize(32);
    state.text().setDraft(QStringLiteral("Проверка переноса"));
    const Annotation preview = *state.text().preview();
    EXPECT_EQ(preview.textWidth, 127);
    EXPECT_LE(preview.rect().right(), 1000);
    EXPECT_GE(preview.rect().left(), 862);
    EXPECT_EQ(state.previewAnnotations().size(), 1);
    state.text().save();
    EXPECT_FALSE(state.text().isOpen());
    ASSERT_EQ(state.annotations().size(), 1);
    EXPECT_EQ(state.annotations().first().text, QStringLiteral("Проверка переноса"));
}
