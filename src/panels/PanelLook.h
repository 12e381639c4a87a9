#pragma once

#include <QColor>
#include <QFont>

namespace tarnwick::panelLook {

// The panel's texts are set in the application font at pixel sizes (a point of the design is
// one device-independent pixel).
QFont font(int pixels, QFont::Weight weight = QFont::Normal);
// Grey at white level `level` with `alpha`, as the panel's surfaces use.
QColor white(double level, double alpha = 1);
// The default text colour of the dark windows.
QColor text();

} // namespace tarnwick::panelLook
