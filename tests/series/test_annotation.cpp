#include "series/Annotation.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace tarnwick;
using T = AnnotationTool;

TEST(TextFontStyleFont, RealFacesWhereTheFamilyHasThemImitatedElsewhereSystemFontForUnknownFamilies)
{
    const QFont fallback = TextFontStyle{QStringLiteral("No Such Family 4711"), true, true, false}.font(30);
    EXPECT_EQ(fallback.family(), QFontInfo(QGuiApplication::font()).family());

    Annotation text;
    text.kind = T::text;
    text.fontSize = 20;

    // fonts-dejavu-extra ships this family with a single regular face.
    text.textStyle = {QStringLiteral("DejaVu Math TeX Gyre"), true, true, false};
    ASSERT_TRUE(QFontDatabase::hasFamily(text.textStyle.family));
    const TextAttributes imitated = text.textAttributes();
    EXPECT_FALSE(imitated.font.bold() || imitated.font.italic());
    EXPECT_TRUE(imitated.syntheticBold);
    EXPECT_GT(imitated.obliqueness, 0);
}
