#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <utility>

namespace tarnwick::test {

// Makes `home` this program's home, with its data, cache and configuration folders; false when
// it is not there. Called before main makes the application, so that fontconfig reads the user's
// folders there: the font folder is userFonts(home), made or not by the caller.
inline bool ownFontHome(const QTemporaryDir& home)
{
    qputenv("HOME", QFile::encodeName(home.path()));
    for (auto [variable, folder] : {std::pair{"XDG_DATA_HOME", ".local/share"}, {"XDG_CACHE_HOME", ".cache"}, {"XDG_CONFIG_HOME", ".config"}})
        qputenv(variable, QFile::encodeName(home.filePath(QString::fromLatin1(folder))));
    return home.isValid();
}

inline QString userFonts(const QTemporaryDir& home)
{
    return home.filePath(QStringLiteral(".local/share/fonts"));
}

// A font no system has: DejaVu Sans with its family renamed to `family` in the name records of
// both encodings. The new name must be as long as "DejaVu Sans", so that every offset holds.
// Empty when fontconfig finds no DejaVu Sans.
inline QByteArray renamedFont(const QString& family)
{
    QProcess match;
    match.start(QStringLiteral("fc-match"), {QStringLiteral("-f"), QStringLiteral("%{file}"), QStringLiteral("DejaVu Sans:style=Book")});
    if (!match.waitForFinished(60000) || match.exitCode() != 0)
        return {};
    QFile source(QString::fromLocal8Bit(match.readAllStandardOutput()));
    if (!source.open(QIODevice::ReadOnly))
        return {};
    QByteArray font = source.readAll();
    const QString from = QStringLiteral("DejaVu Sans");
    if (family.size() != from.size())
        return {};
    const auto utf16 = [](const QString& text) {
        QByteArray bytes;
        for (QChar c : text)
            bytes.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
        return bytes;
    };
    return font.replace(from.toLatin1(), family.toLatin1()).replace(utf16(from), utf16(family));
}

} // namespace tarnwick::test
