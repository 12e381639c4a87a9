#include "platform/KeyNames.h"

#include <gtest/gtest.h>

TEST(KeyNames, LinuxNamesInTheFixedOrderAlsoInsideSentences)
{
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"⇧⌘0", "Ctrl+Shift+0"},
        {u"⇧⌘Space", "Ctrl+Shift+Space"},
        {u"⌃⇧⌥⌘Z", "Ctrl+Alt+Shift+Super+Z"},
        {u"⌘↩", "Ctrl+Enter"},
        {u"⌘c", "Ctrl+C"},
        {u"⌘,", "Ctrl+,"},
        {u"Нажмите ⌘V ещё раз.", "Нажмите Ctrl+V ещё раз."},
        {u"Готово ↩, удалить ⌫", "Готово Enter, удалить Backspace"},
        {u"⌘ ", "Ctrl "}, // a modifier with nothing after it still reads as a name
        // Arrows are keys only after modifiers.
        {u"Снимок → разметка → ⌘V", "Снимок → разметка → Ctrl+V"},
        {u"⌥←", "Alt+Left"},
    };
    for (const auto& [glyphs, text] : cases)
        EXPECT_EQ(tarnwick::platform::keyText(glyphs), QString::fromUtf8(text));
}
