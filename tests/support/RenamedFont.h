#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

namespace tarnwick::test {

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
