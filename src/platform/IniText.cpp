// The INI text of QSettings' own INI format, written here so the preferences can take the
// checked path of every other file; Qt reads it back as it reads its own.
#include "platform/PreferencesFile.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <utility>

namespace tarnwick::platform {

namespace {

bool hexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Letters, digits, "_-." as they are, "/" as "\", others as %XX or %UXXXX.
void appendKey(QStringView key, QByteArray& out)
{
    for (const QChar c : key) {
        const char16_t ch = c.unicode();
        if (ch == u'/')
            out += '\\';
        else if ((ch < 0x80 && c.isLetterOrNumber()) || ch == u'_' || ch == u'-' || ch == u'.')
            out += char(ch);
        else if (ch <= 0xff)
            out += '%' + QByteArray::number(ch, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(ch, 16).toUpper().rightJustified(4, '0');
    }
}

// A value as QSettings spells it before escaping: plain text, or "@Type(...)".
QString valueText(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
        return QStringLiteral("@Invalid()");
    case QMetaType::QByteArray:
        return QStringLiteral("@ByteArray(") + QLatin1StringView(value.toByteArray()) + u')';
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double: {
        QString text = value.toString();
        if (text.contains(QChar::Null))
            return QStringLiteral("@String(") + text + u')';
        return text.startsWith(u'@') ? u'@' + text : text;
    }
    case QMetaType::QRect: {
        const QRect r = value.toRect();
        return QString::asprintf("@Rect(%d %d %d %d)", r.x(), r.y(), r.width(), r.height());
    }
    case QMetaType::QSize:
        return QString::asprintf("@Size(%d %d)", value.toSize().width(), value.toSize().height());
    case QMetaType::QPoint:
        return QString::asprintf("@Point(%d %d)", value.toPoint().x(), value.toPoint().y());
    default: {
        const bool dateTime = value.metaType().id() == QMetaType::QDateTime;
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(dateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
        stream << value;
        return (dateTime ? QStringLiteral("@DateTime(") : QStringLiteral("@Variant(")) + QLatin1StringView(bytes) + u')';
    }
    }
}

// One value, escaped; quoted where a separator or an edge space would be misread.
void appendText(const QString& text, QByteArray& out)
{
    // Byte arrays and streamed values are Latin-1 bytes: the high ones escaped, not UTF-8.
    const bool bytes = text.startsWith(QStringLiteral("@ByteArray(")) || text.startsWith(QStringLiteral("@Variant("))
                       || text.startsWith(QStringLiteral("@DateTime("));
    static constexpr std::pair<char16_t, const char*> named[] = {
        {u'\a', "\\a"}, {u'\b', "\\b"}, {u'\f', "\\f"}, {u'\n', "\\n"}, {u'\r', "\\r"},
        {u'\t', "\\t"}, {u'\v', "\\v"}, {u'"', "\\\""}, {u'\\', "\\\\"}};
    const qsizetype start = out.size();
    bool quoted = false;
    bool hexFollows = false; // a digit after \x.. or \0 would be read as part of it
    QString plain;           // passed as UTF-8 in one piece, so a surrogate pair stays whole
    for (const QChar c : text) {
        const char16_t ch = c.unicode();
        quoted = quoted || ch == u';' || ch == u',' || ch == u'=';
        const auto escape = std::find_if(std::begin(named), std::end(named), [ch](const auto& n) { return n.first == ch; });
        const bool hex = (hexFollows && hexDigit(ch)) || ch == 0 || ch <= 0x1f || (ch >= 0x7f && bytes);
        if (!hex && escape == std::end(named)) {
            plain += c;
            hexFollows = false;
            continue;
        }
        out += plain.toUtf8();
        plain.clear();
        if (escape != std::end(named) && !(hexFollows && hexDigit(ch))) {
            out += escape->second;
            hexFollows = false;
        } else {
            out += ch == 0 ? QByteArray("\\0") : "\\x" + QByteArray::number(ch, 16);
            hexFollows = true;
        }
    }
    out += plain.toUtf8();
    if (quoted || (out.size() > start && (out.at(start) == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

void appendValue(const QVariant& value, QByteArray& out)
{
    // A list of one reads back as that one value: it goes as a whole, streamed.
    const bool list = value.metaType().id() == QMetaType::QStringList
                      || (value.metaType().id() == QMetaType::QVariantList && value.toList().size() != 1);
    if (!list)
        return appendText(valueText(value), out);
    const QVariantList items = value.toList();
    if (items.isEmpty())
        out += "@Invalid()";
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ", ";
        appendText(valueText(items[i]), out);
    }
}

} // namespace

QByteArray PreferencesFile::iniText(const QSettings::SettingsMap& values)
{
    // Keys without a group under [General], then each group: its name is the key up to the first "/".
    QMap<QString, QList<std::pair<QString, QVariant>>> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        sections[slash < 0 ? QString() : it.key().left(slash)].append({it.key().mid(slash + 1), it.value()});
    }
    QByteArray text;
    for (auto section = sections.cbegin(); section != sections.cend(); ++section) {
        QByteArray name;
        appendKey(section.key(), name);
        if (!text.isEmpty())
            text += '\n';
        text += name.isEmpty() ? QByteArray("[General]")
                : name.compare("general", Qt::CaseInsensitive) == 0 ? "[%" + name + ']'
                                                                     : '[' + name + ']';
        text += '\n';
        for (const auto& [key, value] : section.value()) {
            appendKey(key, text);
            text += '=';
            appendValue(value, text);
            text += '\n';
        }
    }
    return text;
}

} // namespace tarnwick::platform
