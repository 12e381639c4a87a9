#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringView>

namespace tarnwick::platform {

// Icons are drawn from the bundled SVG set in the given colour, looked up by the
// set's own file names ("app-window", "info") or by the older symbol names the
// table still maps ("cursorarrow", "text.bubble", …). An unknown name gives a null icon.
QString iconResource(QStringView symbol);
QIcon symbolIcon(QStringView symbol, const QColor& color = Qt::white);
QPixmap symbolPixmap(QStringView symbol, int side, const QColor& color = Qt::white);

} // namespace tarnwick::platform
