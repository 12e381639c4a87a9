#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

namespace tarnwick {

// The keyboard shortcuts by context, as lines "keys — description" keeping the
// macOS key glyphs (⌘ ⇧ ⌥ ⌃) as data; what the user sees of them goes through
// platform::keyText. Pure.
namespace ShortcutGuide {

struct Section {
    QString title;
    QStringList entries;
};

// One card of the guide.
struct Row {
    QString id;                         // the entry line as stored
    QString description;                // as shown
    QVector<QStringList> combinations;  // alternatives, each a sequence of key caps (glyphs)
};

// Display order; the editor section ends with one digit line per toolbar tool.
QVector<Section> sections();
// One icon symbol per section, in the same order.
const std::array<const char*, 5>& symbols();
Row row(const QString& entry);
// What a key cap shows: "⌘" → "Ctrl", "↩" → "Enter"; other caps unchanged.
QString capText(const QString& cap);
// The caps of one combination as shown: modifiers join the key that follows
// them in one cap, written like menus write it ({"⇧", "⌘", "Пробел"} → {"Ctrl+Shift+Пробел"}).
QStringList shownCaps(const QStringList& combination);
// The sidebar's legend of the modifier keys, as the caps show them.
QString legend();

} // namespace ShortcutGuide
} // namespace tarnwick
