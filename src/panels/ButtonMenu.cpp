#include "panels/ButtonMenu.h"

#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <algorithm>

namespace tarnwick {

QPoint menuOrigin(const QRect& anchor, const QSize& size, const QRect& available)
{
    int y = anchor.bottom() + 1;
    if (y + size.height() > available.bottom() + 1 && anchor.top() - size.height() >= available.top())
        y = anchor.top() - size.height();
    // Clamped in whole: a menu taller or wider than the area starts at its top or left.
    const auto clamp = [](int value, int low, int high) { return std::max(low, std::min(value, high)); };
    return {clamp(anchor.left(), available.left(), available.right() + 1 - size.width()),
            clamp(y, available.top(), available.bottom() + 1 - size.height())};
}

void attachMenu(QToolButton& button, QMenu& menu)
{
    QObject::connect(&button, &QToolButton::pressed, &menu, [&button, &menu] {
        if (menu.isVisible())
            return;
        QScreen* screen = button.screen();
        // Measured for the screen it opens on, so its size is that screen's.
        menu.setScreen(screen);
        menu.adjustSize();
        const QRect anchor(button.mapToGlobal(QPoint()), button.size());
        const QPoint at = menuOrigin(anchor, menu.sizeHint(), screen->availableGeometry());
        menu.popup(at);
        // The press that opened it is over: the button does not stay down under the menu.
        button.setDown(false);
    });
}

} // namespace tarnwick
