#include "panels/RoundedWindow.h"

#include "platform/WindowManager.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QWidget>

namespace tarnwick {

void roundWindowCorners(QWidget& window, platform::X11Connection& connection, double radius)
{
    if (QGuiApplication::platformName() == u"xcb" && platform::compositingManagerRunning(connection)) {
        window.setAttribute(Qt::WA_TranslucentBackground);
        return;
    }
    QPainterPath card;
    card.addRoundedRect(QRectF(window.rect()), radius, radius);
    window.setMask(QRegion(card.toFillPolygon().toPolygon()));
}

} // namespace tarnwick
