#include "series/Annotation.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace tarnwick;
using T = AnnotationTool;

TEST(AnnotationEquality, EveryFieldCountsExactlyAndImagesByIdentity)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.start = {1, 2};
    const std::function<void(Annotation&)> changes[] = {
        [](Annotation& b) { b.canvasTracked = true; },
        [](Annotation& b) { b.start = {1, 2.0000000000001}; }, // Qt's fuzzy comparison would call these equal
        [](Annotation& b) { b.embeddedImage = std::make_shared<const QImage>(4, 4, QImage::Format_ARGB32); },
    };
    for (const auto& change : changes) {
        Annotation b = a;
        EXPECT_EQ(a, b);
        change(b);
        EXPECT_NE(a, b);
    }
}

TEST(TextFontStyleFont, RealFacesWhereTheFamilyHasThemImitatedElsewhereSystemFontForUnknownFamilies)
{
    const QFont fallback = TextFontStyle{QStringLiteral("No Such Family 4711"), true, true, false}.font(30);
    EXPECT_EQ(fallback.family(), QFontInfo(QGuiApplication::font()).family());

    Annotation text;
    text.kind = T::text;
    text.fontSize = 20;
    text.textStyle = {QStringLiteral("DejaVu Serif"), true, true, true};
    const TextAttributes serif = text.textAttributes();
    EXPECT_EQ(QFontInfo(serif.font).family(), QStringLiteral("DejaVu Serif"));
    EXPECT_TRUE(serif.font.bold() && serif.font.italic() && serif.font.strikeOut() && !serif.syntheticBold);

    // fonts-dejavu-extra ships this family with a single regular face.
    text.textStyle = {QStringLiteral("DejaVu Math TeX Gyre"), true, true, false};
    ASSERT_TRUE(QFontDatabase::hasFamily(text.textStyle.family));
    const TextAttributes imitated = text.textAttributes();
    EXPECT_FALSE(imitated.font.bold() || imitated.font.italic());
    EXPECT_TRUE(imitated.syntheticBold);
    EXPECT_GT(imitated.obliqueness, 0);
}
