#include "panels/RoundedWindow.h"

#include "platform/WindowManager.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainterPath>
#include <QWidget>

namespace tarnwick {
namespace {

void applyMask(QWidget& window, const QRegion& region)
{
    // Cleared first: an equal mask is not sent again, and the server's copy is in device pixels.
    window.clearMask();
    window.setMask(region);
}

class MaskFollowsWindow : public QObject {
public:
    MaskFollowsWindow(QWidget& window, std::function<QRegion()> region)
        : QObject(&window), window_(window), region_(std::move(region))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Crossing to a screen of another scale, Qt can report the new size in the old scale for a
        // moment (half the size from 2× to 1×): a mask made then and kept would cut the window down.
        if (watched == &window_ && (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Resize))
            applyMask(window_, region_());
        return false;
    }

private:
    QWidget& window_;
    std::function<QRegion()> region_;
};

} // namespace

QRegion roundedRegion(const QRect& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(rect), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}

void keepWindowMask(QWidget& window, std::function<QRegion()> region)
{
    applyMask(window, region());
    window.installEventFilter(new MaskFollowsWindow(window, std::move(region)));
}

void roundWindowCorners(QWidget& window, platform::X11Connection& connection, double radius)
{
    if (QGuiApplication::platformName() == u"xcb" && platform::compositingManagerRunning(connection)) {
        window.setAttribute(Qt::WA_TranslucentBackground);
        return;
    }
    keepWindowMask(window, [&window, radius] { return roundedRegion(window.rect(), radius); });
}

} // namespace tarnwick
