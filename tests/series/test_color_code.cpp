#include "series/ColorCode.h"

#include <QSignalSpy>
#include <clocale>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(ColorCodes, FiveNotations)
{
    const SampledColor amber{255, 194, 0, 255};
    EXPECT_EQ(colorCode(ColorCodeFormat::hexHash, amber), QStringLiteral("#FFC200"));
    EXPECT_EQ(colorCode(ColorCodeFormat::hex, amber), QStringLiteral("FFC200"));
    EXPECT_EQ(colorCode(ColorCodeFormat::cssRGBA, amber), QStringLiteral("rgba(255, 194, 0, 1)"));
    EXPECT_EQ(colorCode(ColorCodeFormat::normalizedRGB, amber), QStringLiteral("(1.00, 0.76, 0.00)"));
    EXPECT_EQ(colorCode(ColorCodeFormat::androidARGB, amber), QStringLiteral("0xFFFFC200"));

    const SampledColor translucent{1, 2, 3, 128};
    EXPECT_EQ(colorCode(ColorCodeFormat::cssRGBA, translucent), QStringLiteral("rgba(1, 2, 3, 0.502)"));
    EXPECT_EQ(colorCode(ColorCodeFormat::cssRGBA, SampledColor{1, 2, 3, 0}), QStringLiteral("rgba(1, 2, 3, 0)"));
    EXPECT_EQ(colorCode(ColorCodeFormat::hex, translucent), QStringLiteral("010203"));
    EXPECT_EQ(colorCode(ColorCodeFormat::androidARGB, translucent), QStringLiteral("0x80010203"));
    EXPECT_EQ(fromRaw<ColorCodeFormat>("cssrgba"), std::nullopt);
}

TEST(ColorCodes, DecimalPointWhateverTheLocale)
{
    // The test program has a QApplication, which already applied the environment's
    // locale; switch the C numeric locale to Russian as a Russian desktop would.
    if (!std::setlocale(LC_NUMERIC, "ru_RU.UTF-8"))
        GTEST_FAIL() << "ru_RU.UTF-8 locale missing: scripts/install-deps generates it";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5"); // the locale really is active
    EXPECT_EQ(colorCode(ColorCodeFormat::cssRGBA, SampledColor{0, 0, 0, 128}), QStringLiteral("rgba(0, 0, 0, 0.502)"));
    EXPECT_EQ(colorCode(ColorCodeFormat::normalizedRGB, SampledColor{255, 194, 0, 255}), QStringLiteral("(1.00, 0.76, 0.00)"));
    std::setlocale(LC_NUMERIC, "C");
}

TEST(CursorColor, KeepsTheLastSampleAndReportsOnlyRealChanges)
{
    CursorColorState state;
    QVector<ColorCodeFormat> stored;
    state.formatChanged = [&](ColorCodeFormat f) { stored.push_back(f); };
    EXPECT_EQ(state.code(), std::nullopt);
    state.setFormat(ColorCodeFormat::hexHash);
    EXPECT_TRUE(stored.isEmpty());
    state.setFormat(ColorCodeFormat::hex);
    EXPECT_EQ(stored, QVector<ColorCodeFormat>{ColorCodeFormat::hex});
    EXPECT_EQ(state.code(), std::nullopt);

    QSignalSpy spy(&state, &CursorColorState::changed);
    state.update(SampledColor{1, 2, 3, 255}, true);
    state.update(SampledColor{1, 2, 3, 255}, true);
    EXPECT_EQ(spy.count(), 1);
    state.update(std::nullopt, true);
    EXPECT_FALSE(state.insideCanvas());
    EXPECT_EQ(state.code(), QStringLiteral("010203"));
}
