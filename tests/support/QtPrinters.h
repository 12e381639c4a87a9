#pragma once

#include <QRect>
#include <QString>
#include <ostream>

// Readable failure messages for Qt strings (Russian texts above all). Every test
// program includes this file first, through the build.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QRect& r, std::ostream* out)
{
    *out << r.width() << "×" << r.height() << " at (" << r.x() << ", " << r.y() << ")";
}
