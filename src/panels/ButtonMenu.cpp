#include "panels/ButtonMenu.h"

#include "panels/PopupAnchor.h"
#include "platform/UsableArea.h"

#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <algorithm>

namespace tarnwick {

QPoint menuOrigin(const QRect& anchor, const QSize& size, const QRect& available)
{
    // Clamped in whole: a menu taller or wider than the area starts at its top or left.
    const auto clamp = [](int value, int low, int high) { return std::max(low, std::min(value, high)); };
    const int right = available.right() + 1 - size.width(), bottom = available.bottom() + 1 - size.height();
    if (anchor.bottom() + 1 <= bottom)
        return {clamp(anchor.left(), available.left(), right), anchor.bottom() + 1};
    if (anchor.top() - size.height() >= available.top())
        return {clamp(anchor.left(), available.left(), right), anchor.top() - size.height()};
    // Too tall for the room above and below (a short screen at 2×): beside the button, so
    // it does not hide it, level with it as far as the screen allows.
    int x = anchor.left() - size.width();
    if (x < available.left())
        x = anchor.right() + 1 <= right ? anchor.right() + 1 : clamp(anchor.left(), available.left(), right);
    return {x, clamp(anchor.top(), available.top(), bottom)};
}

namespace {

// Where the menu goes for the button as it is now.
QPoint placeFor(QToolButton& button, QMenu& menu)
{
    const QRect anchor(button.mapToGlobal(QPoint()), button.size());
    return menuOrigin(anchor, menu.sizeHint(), platform::usableArea(*button.screen()));
}

} // namespace

void attachMenu(QToolButton& button, QMenu& menu)
{
    QObject::connect(&button, &QToolButton::pressed, &menu, [&button, &menu] {
        if (menu.isVisible())
            return;
        // Measured for the screen it opens on, so its size is that screen's.
        menu.setScreen(button.screen());
        menu.adjustSize();
        menu.popup(placeFor(button, menu));
        // The press that opened it is over: the button does not stay down under the menu.
        button.setDown(false);
    });
    // Moved with the panel while it is open.
    followAnchor(menu, button, [&button, &menu] { menu.move(placeFor(button, menu)); });
}

} // namespace tarnwick
