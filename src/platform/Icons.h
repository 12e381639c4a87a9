#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringView>

namespace tarnwick::platform {

// Icons are looked up by the symbol names the interface uses ("cursorarrow",
// "text.bubble", …) and drawn from the bundled SVG set in the given colour.
// An unknown symbol gives a null icon.
QString iconResource(QStringView symbol);
QIcon symbolIcon(QStringView symbol, const QColor& color = Qt::white);
QPixmap symbolPixmap(QStringView symbol, int side, const QColor& color = Qt::white);

} // namespace tarnwick::platform
