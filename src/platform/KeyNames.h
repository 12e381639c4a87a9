#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick::platform {

// Rewrites every macOS key glyph in a user-facing text with the Linux key names:
// "⇧⌘0" → "Ctrl+Shift+0", "Текст скопирован — ⌘V" → "Текст скопирован — Ctrl+V".
// Modifiers come out in the order Ctrl, Alt, Shift, Super, joined with "+".
QString keyText(QStringView text);

} // namespace tarnwick::platform
