#include "panels/RoundedWindow.h"

#include "platform/WindowManager.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QWidget>

namespace tarnwick {
namespace {

void applyMask(QWidget& window, double radius)
{
    QPainterPath card;
    card.addRoundedRect(QRectF(window.rect()), radius, radius);
    // Cleared first: an equal mask is not sent again, and the server's copy is in device pixels.
    window.clearMask();
    window.setMask(QRegion(card.toFillPolygon().toPolygon()));
}

// Qt hands the window system the mask in the pixels of the screen the window is on and keeps it
// when the window moves to a screen of another scale: on a 2x screen only a quarter of the card
// would take clicks.
class MaskFollowsScreen : public QObject {
public:
    MaskFollowsScreen(QWidget& window, double radius) : QObject(&window), window_(window), radius_(radius) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::ScreenChangeInternal && !window_.mask().isEmpty())
            applyMask(window_, radius_);
        return false;
    }

private:
    QWidget& window_;
    double radius_;
};

} // namespace

void roundWindowCorners(QWidget& window, platform::X11Connection& connection, double radius)
{
    if (QGuiApplication::platformName() == u"xcb" && platform::compositingManagerRunning(connection)) {
        window.setAttribute(Qt::WA_TranslucentBackground);
        return;
    }
    applyMask(window, radius);
    window.installEventFilter(new MaskFollowsScreen(window, radius));
}

} // namespace tarnwick
