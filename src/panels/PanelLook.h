#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStringView>

namespace tarnwick::panelLook {

// The panel's texts are set in the application font at pixel sizes (a point of the design is
// one device-independent pixel).
QFont font(int pixels, QFont::Weight weight = QFont::Normal);
// Grey at white level `level` with `alpha`, as the panel's surfaces use.
QColor white(double level, double alpha = 1);
// The default text colour of the dark windows.
QColor text();
// A symbol drawn once in `color` at twice `side`, so repaints only copy pixels.
QIcon symbol(QStringView name, int side, const QColor& color = text());

} // namespace tarnwick::panelLook
