#pragma once

// Windows of the test's X server as xdotool finds them, for tests that drive a real program
// whose widgets they cannot reach.

#include "support/X11Client.h"

#include <QMap>
#include <QRect>
#include <QString>
#include <QStringList>

namespace tarnwick::test {

inline QStringList outputLines(const QByteArray& text)
{
    return QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
}

// The visible windows `xdotool search` finds with `search` (e.g. {"--name", "^Tarnwick$"}).
inline QStringList visibleWindows(const QStringList& search)
{
    QByteArray out;
    runProcess(QStringLiteral("xdotool"), QStringList{"search", "--onlyvisible"} + search, &out);
    return outputLines(out);
}

// A window's geometry as xdotool gives it (for a framed window, off by its frame).
inline QRect windowGeometry(const QString& window)
{
    QByteArray out;
    runProcess(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", window}, &out);
    QMap<QString, int> v;
    for (const QString& line : outputLines(out))
        v[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
    return QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
}

} // namespace tarnwick::test
