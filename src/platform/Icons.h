#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>
#include <QStringView>

namespace tarnwick::platform {

// Icons of the bundled SVG set (resources/icons), named by their files
// ("mouse-pointer-2", "message-square-text", …) and drawn in the given colour.
// An unknown name gives a null icon.
QString iconResource(QStringView symbol);
QIcon symbolIcon(QStringView symbol, const QColor& color = Qt::white);
QPixmap symbolPixmap(QStringView symbol, int side, const QColor& color = Qt::white);
// The one rule for a menu entry's symbol: the menu's own text colour, its highlighted text colour
// under the pointer and its disabled text colour, so it reads on whatever look the menu has.
QIcon menuIcon(QStringView symbol, const QPalette& menuPalette);

} // namespace tarnwick::platform
