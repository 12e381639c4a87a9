#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QMenu;
class QToolButton;

namespace tarnwick {

// Makes `button` open `menu` on a press, touching the button on the button's own
// screen: below it, else above it, else beside it, kept inside that screen's available area.
// Qt's own button menus take the screen the menu was made on, which on a desk of
// screens at different scales puts the menu on the wrong monitor. GUI thread.
void attachMenu(QToolButton& button, QMenu& menu);

// Where a menu of `size` goes for a button at `anchor` on a screen whose available
// area is `available`, all in Qt's global coordinates of that screen.
QPoint menuOrigin(const QRect& anchor, const QSize& size, const QRect& available);

} // namespace tarnwick
