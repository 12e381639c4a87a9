#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <array>

class QMessageBox;

namespace tarnwick {

// The shared colours of every window and of the annotation palette.
namespace Theme {
// X11 has no system-wide accent colour, so Tarnwick keeps one of its own.
QColor accent();
QColor muted();
QColor card();
QColor background();
QColor canvasBackground();
// The annotation palette: blue, red, orange, green, white, black.
const std::array<QColor, 6>& colors();
// A palette colour by index, clamped into the palette.
QColor paletteColor(int index);
QColor marker();
// The palette of the dark windows: near-white (0.94) text on the window background.
QPalette darkPalette();
// Widens a message box whose texts are all set to a width its title and texts read in: Qt
// sizes it to its text, and the window manager cuts the title of a short question.
void giveRoom(QMessageBox& box);
// The application's font at a size in points of the interface (device-independent pixels).
QFont font(int pixels, QFont::Weight weight = QFont::Normal);
} // namespace Theme

} // namespace tarnwick
