#include "editor/tools/EditorSupplementalControls.h"
#include "editor/tools/InstalledFontPicker.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/tools/ToolDetailsSections.h"
#include "editor/tools/ToolLook.h"
#include "platform/PlacementRules.h"
#include "ToolsTestSupport.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using T = AnnotationTool;
using S = DetailsSection;

TEST(ToolDetails, ChoosesSectionsForEveryToolAndSelectionKind)
{
    struct Case {
        T tool, drawing;
        std::optional<T> selected;
        bool removing, notice;
        QVector<S> sections;
    };
    const Case cases[] = {
        {T::comment, T::comment, {}, false, false, {}},
        {T::select, T::select, {}, false, true, {S::sourceShot, S::imageNotice}},
        {T::select, T::select, T::arrow, false, false, {S::lineKind, S::strokeWidth}},
        {T::rectangle, T::ellipse, {}, false, false, {S::shape, S::strokeWidth}},
        {T::arrow, T::length, {}, false, false, {S::lineKind, S::strokeWidth}},
        {T::highlighter, T::highlighter, {}, false, false, {S::extraTool, S::highlighterHint, S::strokeWidth}},
        {T::ruler, T::ruler, {}, false, false, {S::extraTool, S::rulerUnits, S::strokeWidth}},
        {T::qr, T::qr, {}, false, false, {S::extraTool, S::qrReading}},
        {T::magnifier, T::magnifier, {}, false, false, {S::extraTool, S::strokeWidth, S::magnifier}},
        {T::select, T::select, T::magnifier, false, false, {S::extraTool, S::strokeWidth, S::magnifier}},
        {T::select, T::select, T::image, false, false, {S::insertedImage}},
        {T::crop, T::crop, T::image, false, false, {S::crop}},
        {T::select, T::select, T::text, false, false, {S::editText}},
        {T::select, T::select, T::blur, true, false, {S::removalProgress, S::blur}},
        {T::pencil, T::pencil, T::ruler, false, false, {S::extraTool, S::rulerUnits, S::strokeWidth}},
        {T::comment, T::comment, T::comment, true, true, {S::removalProgress, S::imageNotice}},
    };
    for (const Case& c : cases) {
        DetailsContext context{c.tool, c.drawing, c.selected, c.selected.has_value(), c.removing, c.notice, false};
        EXPECT_EQ(toolPanels(context).sections, c.sections) << rawValue(c.tool) << " / " << (c.selected ? rawValue(*c.selected) : "none");
    }
}

TEST(SupplementalControls, ShowsWhatTheToolAndTheSelectionNeed)
{
    EditorState state(test::shotOf(600, 400), QStringLiteral("A"));
    const auto content = [&] { return toolPanels(DetailsContext::of(state)).strip; };
    state.setTool(T::comment);
    EXPECT_FALSE(content().any());
    state.add(test::element(T::comment, {50, 50}, {50, 50}), false);
    EXPECT_TRUE(content().any());
    EXPECT_TRUE(content().remove && !content().stroke);

    state.setTool(T::blur);
    state.effects().setPending(true);
    EXPECT_TRUE(content().busy && !content().remove && !content().stroke);
    state.effects().setPending(false);
    EXPECT_FALSE(content().any());

    state.setTool(T::select);
    EXPECT_TRUE(content().sourceShot);
    state.add(test::element(T::arrow, {10, 10}, {90, 90}), false);
    EXPECT_TRUE(content().stroke && content().remove && !content().sourceShot);

    ASSERT_TRUE(state.images().add({test::picture(100, 80)}));
    state.cropping().beginOnSelectedLayer();
    EXPECT_TRUE(content().crop && content().remove && !content().imageLayer);

    Annotation lens = test::element(T::magnifier, {0, 0}, {300, 100});
    for (auto [source, factor] : {std::pair{std::optional(QRectF(0, 0, 100, 40)), 3.0}, {QRectF(0, 0, 0.2, 40), 300.0}, {std::nullopt, 2.0}}) {
        lens.magnifierSource = source;
        EXPECT_DOUBLE_EQ(magnifierFactor(lens), factor) << factor;
    }
}

TEST(ToolLook, RoundsSliderValuesAndTruncatesLabels)
{
    EXPECT_EQ(std::pair(toolLook::wholePixels(12.5), toolLook::wholePixels(12.4)), std::pair(13.0, 12.0));
    EXPECT_EQ(std::pair(toolLook::pixelText(7.9), toolLook::pixelText(37.5)), std::pair(QString("7 px"), QString("37 px")));
}

TEST(FontPicker, MergesFoundriesSortsNumbersByValueAndFiltersLikePeopleSearch)
{
    const QStringList order = familyDisplayOrder({QStringLiteral("Font 10"), QStringLiteral("Nimbus Sans [URW]"),
                                                  QStringLiteral("font 9"), QStringLiteral("Nimbus Sans [Other]"),
                                                  QStringLiteral("Élan"), QStringLiteral("alpha")});
    EXPECT_EQ(order, (QStringList{QStringLiteral("alpha"), QStringLiteral("Élan"), QStringLiteral("font 9"),
                                  QStringLiteral("Font 10"), QStringLiteral("Nimbus Sans")}));
    EXPECT_EQ(filterFamilies(order, QStringLiteral("nimbus")), QStringList{QStringLiteral("Nimbus Sans")});
    EXPECT_EQ(filterFamilies(order, QStringLiteral("ela")), QStringList{QStringLiteral("Élan")});
    EXPECT_EQ(filterFamilies(order, QStringLiteral(" ")), (QStringList{QStringLiteral("font 9"), QStringLiteral("Font 10"),
                                                                        QStringLiteral("Nimbus Sans")}));
    EXPECT_TRUE(filterFamilies(order, QStringLiteral("zzz")).isEmpty());
    EXPECT_EQ(filterFamilies(order, QString()), order);
}

TEST(TextEditorPanel, StepsAndPlacement)
{
    using P = TextPanelStep;
    // showText, parent, exists, visible, picking.
    EXPECT_EQ(textPanelStep(false, true, true, true, false), P::dismiss);
    EXPECT_EQ(textPanelStep(false, true, false, false, false), P::nothing);
    EXPECT_EQ(textPanelStep(true, false, false, false, false), P::nothing);
    EXPECT_EQ(textPanelStep(true, true, false, false, true), P::create);
    EXPECT_EQ(textPanelStep(true, true, true, true, true), P::hide);
    EXPECT_EQ(textPanelStep(true, true, true, false, false), P::show);
    EXPECT_EQ(textPanelStep(true, true, true, true, false), P::nothing);

    // Where the panel opens beside the editor, and where the usable area keeps it.
    const QRect screen(0, 0, 1440, 875);
    const auto origin = [](const QRect& parent, QSize panel, const std::optional<QRect>& area) {
        const QRect beside = platform::insideTopRight(parent, panel, textPanelInset);
        return (area ? platform::movedInside(beside, *area) : beside).topLeft();
    };
    EXPECT_EQ(origin({100, 100, 1200, 800}, {440, 600}, screen), QPoint(836, 155));
    EXPECT_EQ(origin({1200, 100, 1200, 800}, {440, 600}, screen), QPoint(1000, 155));
    EXPECT_EQ(origin({1200, 100, 1200, 800}, {440, 600}, std::nullopt), QPoint(1936, 155));
    EXPECT_EQ(origin({100, 100, 1200, 800}, {440, 1000}, screen).y(), 0);
    EXPECT_EQ(origin({3000, 100, 1200, 800}, {440, 600}, std::nullopt), QPoint(3736, 155));
}
