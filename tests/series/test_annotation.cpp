#include "series/Annotation.h"
#include "platform/TarnwickError.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace tarnwick;
using T = AnnotationTool;

TEST(Vocabulary, RawValuesAreExactCaseNames)
{
    EXPECT_EQ(fromRaw<AnnotationTool>("qr"), T::qr);
    EXPECT_EQ(fromRaw<AnnotationTool>("QR"), std::nullopt);
    EXPECT_EQ(fromRaw<AnnotationTool>(" qr"), std::nullopt);
    EXPECT_EQ(fromRaw<BlurMode>("objectpixelate"), std::nullopt);
    EXPECT_EQ(fromRaw<EditorToolGroup>(QStringLiteral("extra")), EditorToolGroup::extra);

    // Every case reads back from its own raw value, in declaration order.
    const auto tools = allCases<AnnotationTool>();
    ASSERT_EQ(tools.size(), 15u);
    EXPECT_EQ(tools.front(), T::select);
    EXPECT_EQ(tools.back(), T::qr);
    for (auto t : tools)
        EXPECT_EQ(fromRaw<AnnotationTool>(rawValue(t)), t);
}

TEST(Vocabulary, PredicatesGroupsAndMembership)
{
    EXPECT_TRUE(supportsStroke(T::magnifier));
    EXPECT_FALSE(supportsStroke(T::blur));
    EXPECT_FALSE(createsOutsideCanvas(T::magnifier));
    EXPECT_TRUE(isFreehand(T::highlighter));
    EXPECT_FALSE(isLine(T::ruler));

    for (auto t : {T::select, T::comment, T::text, T::crop, T::image})
        EXPECT_EQ(toolGroup(t), std::nullopt) << rawValue(t);
    EXPECT_EQ(toolGroup(T::ruler), EditorToolGroup::line);
    EXPECT_EQ(toolGroup(T::highlighter), EditorToolGroup::drawing);
    EXPECT_EQ(toolGroup(T::qr), EditorToolGroup::extra);
    EXPECT_TRUE(contains(EditorToolGroup::line, T::ruler));
    EXPECT_TRUE(contains(EditorToolGroup::extra, T::ruler));
    EXPECT_TRUE(contains(EditorToolGroup::drawing, T::highlighter));
    EXPECT_TRUE(contains(EditorToolGroup::extra, T::highlighter));
    EXPECT_FALSE(contains(EditorToolGroup::extra, T::pencil));
    EXPECT_EQ(tool(ExtraToolKind::ruler), T::ruler);
    EXPECT_EQ(extraToolKind(T::arrow), std::nullopt);
}

TEST(AnnotationEquality, EveryFieldCountsAndImagesByIdentity)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.start = {1, 2};
    Annotation b = a;
    EXPECT_EQ(a, b);
    b.canvasTracked = true;
    EXPECT_NE(a, b);
    b = a;
    b.start = {1, 2.0000000000001}; // Qt's fuzzy point comparison would call these equal
    EXPECT_NE(a, b);
    b = a;
    b.markerColorIndex = 0;
    EXPECT_NE(a, b);

    QImage pixels(4, 4, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    a.embeddedImage = std::make_shared<const QImage>(pixels);
    b = a;
    EXPECT_EQ(a, b);
    b.embeddedImage = std::make_shared<const QImage>(pixels);
    EXPECT_NE(a, b);
}

TEST(TextFontStyleFont, MissingFamilyFallsBackToTheSystemFont)
{
    TextFontStyle style{QStringLiteral("No Such Family 4711"), true, true, false};
    const QFont font = style.font(30);
    EXPECT_EQ(font.family(), QFontInfo(QGuiApplication::font()).family());
    EXPECT_EQ(font.pixelSize(), 30);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.italic()); // the system face (DejaVu Sans) has a bold oblique
}

TEST(TextFontStyleFont, RealFacesWhereTheFamilyHasThemImitatedElsewhere)
{
    Annotation text;
    text.kind = T::text;
    text.fontSize = 20;
    text.textStyle = {QStringLiteral("DejaVu Serif"), true, true, true};
    const TextAttributes serif = text.textAttributes();
    EXPECT_EQ(QFontInfo(serif.font).family(), QStringLiteral("DejaVu Serif"));
    EXPECT_TRUE(serif.font.bold());
    EXPECT_TRUE(serif.font.italic());
    EXPECT_TRUE(serif.font.strikeOut());
    EXPECT_FALSE(serif.syntheticBold);
    EXPECT_DOUBLE_EQ(serif.obliqueness, 0);

    // fonts-dejavu-extra ships this family with a single regular face.
    const QString single = QStringLiteral("DejaVu Math TeX Gyre");
    ASSERT_TRUE(QFontDatabase::hasFamily(single));
    text.textStyle = {single, true, true, false};
    const TextAttributes imitated = text.textAttributes();
    EXPECT_FALSE(imitated.font.bold());
    EXPECT_FALSE(imitated.font.italic());
    EXPECT_TRUE(imitated.syntheticBold);
    EXPECT_DOUBLE_EQ(imitated.obliqueness, 0.2);
}

TEST(TarnwickErrorTest, CarriesTheSentenceAlsoAsUtf8)
{
    const TarnwickError error = TarnwickError::message(QStringLiteral("Текст"));
    EXPECT_EQ(error.errorDescription(), QStringLiteral("Текст"));
    EXPECT_STREQ(error.what(), "Текст");
}
