#include "platform/KeyNames.h"

#include <gtest/gtest.h>

using tarnwick::platform::keyText;

TEST(KeyNames, ShortcutsUseLinuxNamesInTheFixedOrder)
{
    EXPECT_EQ(keyText(u"⇧⌘0"), QStringLiteral("Ctrl+Shift+0"));
    EXPECT_EQ(keyText(u"⌘V"), QStringLiteral("Ctrl+V"));
    EXPECT_EQ(keyText(u"⇧⌘Space"), QStringLiteral("Ctrl+Shift+Space"));
    EXPECT_EQ(keyText(u"⌃⇧⌥⌘Z"), QStringLiteral("Ctrl+Alt+Shift+Super+Z"));
    EXPECT_EQ(keyText(u"⌘↩"), QStringLiteral("Ctrl+Enter"));
    EXPECT_EQ(keyText(u"⌘c"), QStringLiteral("Ctrl+C"));
    EXPECT_EQ(keyText(u"⌘,"), QStringLiteral("Ctrl+,"));
}

TEST(KeyNames, GlyphsInsideSentences)
{
    EXPECT_EQ(keyText(u"Текст скопирован — ⌘V"), QStringLiteral("Текст скопирован — Ctrl+V"));
    EXPECT_EQ(keyText(u"Нажмите ⌘V ещё раз."), QStringLiteral("Нажмите Ctrl+V ещё раз."));
    EXPECT_EQ(keyText(u"Готово ↩, удалить ⌫"), QStringLiteral("Готово Enter, удалить Backspace"));
    EXPECT_EQ(keyText(u"без клавиш"), QStringLiteral("без клавиш"));
    // A modifier with nothing after it still reads as a name.
    EXPECT_EQ(keyText(u"⌘ "), QStringLiteral("Ctrl "));
}

TEST(KeyNames, ArrowsAreKeysOnlyAfterModifiers)
{
    EXPECT_EQ(keyText(u"Снимок → разметка → ⌘V"), QStringLiteral("Снимок → разметка → Ctrl+V"));
    EXPECT_EQ(keyText(u"⌥←"), QStringLiteral("Alt+Left"));
}
