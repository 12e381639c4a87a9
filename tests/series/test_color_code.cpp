#include "series/ColorCode.h"

#include <clocale>
#include <gtest/gtest.h>

using namespace tarnwick;
using F = ColorCodeFormat;

TEST(ColorCodes, EveryNotationAlsoUnderARussianNumericLocale)
{
    // A Russian desktop's C locale writes 0,5; the codes must keep the point.
    if (!std::setlocale(LC_NUMERIC, "ru_RU.UTF-8"))
        GTEST_FAIL() << "ru_RU.UTF-8 locale missing: scripts/install-deps generates it";
    const SampledColor amber{255, 194, 0, 255}, translucent{1, 2, 3, 128};
    struct Case { F format; SampledColor color; const char* code; };
    const Case cases[] = {
        {F::hexHash, amber, "#FFC200"},
        {F::hex, translucent, "010203"},
        {F::cssRGBA, translucent, "rgba(1, 2, 3, 0.502)"},
        {F::normalizedRGB, amber, "(1.00, 0.76, 0.00)"},
        {F::androidARGB, translucent, "0x80010203"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(colorCode(c.format, c.color), QString::fromUtf8(c.code)) << rawValue(c.format);
    std::setlocale(LC_NUMERIC, "C");
}
