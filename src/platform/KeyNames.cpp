#include "platform/KeyNames.h"

#include <QStringList>
#include <array>

namespace tarnwick::platform {
namespace {

enum Modifier : unsigned { Ctrl = 1, Alt = 2, Shift = 4, Super = 8 };

unsigned modifierOf(QChar c)
{
    switch (c.unicode()) {
    case u'⌘': return Ctrl;
    case u'⌥': return Alt;
    case u'⇧': return Shift;
    case u'⌃': return Super;
    default: return 0;
    }
}

QString namedKey(QChar c)
{
    switch (c.unicode()) {
    case u'↩': return QStringLiteral("Enter");
    case u'⌫': return QStringLiteral("Backspace");
    case u'⎋': return QStringLiteral("Esc");
    case u'⇥': return QStringLiteral("Tab");
    case u'←': return QStringLiteral("Left");
    case u'→': return QStringLiteral("Right");
    case u'↑': return QStringLiteral("Up");
    case u'↓': return QStringLiteral("Down");
    default: return {};
    }
}

bool isWordChar(QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }

} // namespace

QString keyText(QStringView text)
{
    QString out;
    out.reserve(text.size() + 16);
    qsizetype i = 0;
    while (i < text.size()) {
        unsigned mods = 0;
        qsizetype j = i;
        while (j < text.size() && modifierOf(text[j]))
            mods |= modifierOf(text[j++]);
        if (mods == 0) {
            // Arrows on their own are prose ("Снимок → разметка"); only a shortcut names them.
            const bool arrow = text[i] == u'←' || text[i] == u'→' || text[i] == u'↑' || text[i] == u'↓';
            QString named = arrow ? QString() : namedKey(text[i]);
            out += named.isEmpty() ? QString(text[i]) : named;
            ++i;
            continue;
        }
        QString key;
        if (j < text.size()) {
            if (QString named = namedKey(text[j]); !named.isEmpty()) {
                key = named;
                ++j;
            } else if (isWordChar(text[j])) {
                qsizetype k = j;
                while (k < text.size() && isWordChar(text[k]))
                    ++k;
                key = text.mid(j, k - j).toString();
                // A single letter is a key cap; shortcuts name it in upper case.
                if (key.size() == 1)
                    key = key.toUpper();
                j = k;
            } else if (!text[j].isSpace()) {
                key = text[j];
                ++j;
            }
        }
        static constexpr std::array<std::pair<unsigned, const char*>, 4> order{
            {{Ctrl, "Ctrl"}, {Alt, "Alt"}, {Shift, "Shift"}, {Super, "Super"}}};
        QStringList parts;
        for (auto [bit, name] : order)
            if (mods & bit)
                parts << QString::fromLatin1(name);
        if (!key.isEmpty())
            parts << key;
        out += parts.join(u'+');
        i = j;
    }
    return out;
}

} // namespace tarnwick::platform
