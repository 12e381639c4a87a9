#include "panels/PopupAnchor.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace tarnwick {
namespace {

class AnchorFollower : public QObject {
public:
    AnchorFollower(QWidget& popup, QWidget& anchor, std::function<void()> place)
        : QObject(&popup), popup_(popup), anchor_(&anchor), place_(std::move(place))
    {
        popup.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &popup_) {
            // The widgets the anchor lies in are looked up as it shows: they may have been
            // put in place after the popup was made.
            if (event->type() == QEvent::Show)
                watch(true);
            else if (event->type() == QEvent::Hide)
                watch(false);
        } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && !pending_
                   && !(event->type() == QEvent::Move && watched == window_)) {
            pending_ = true;
            QMetaObject::invokeMethod(this, [this] {
                pending_ = false;
                if (popup_.isVisible() && anchor_)
                    place_();
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void watch(bool on)
    {
        for (const QPointer<QObject>& o : std::exchange(watched_, {}))
            if (o)
                o->removeEventFilter(this);
        window_ = nullptr;
        for (QWidget* w = on ? anchor_.data() : nullptr; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
            w->installEventFilter(this);
            watched_ << w;
            // A window a program moves says so at once, with the place asked for (its frame's,
            // for a while taken as its own); its QWindow says so once the window is there.
            if (QWindow* handle = w->isWindow() ? w->windowHandle() : nullptr) {
                window_ = w;
                handle->installEventFilter(this);
                watched_ << handle;
            }
        }
    }

    QWidget& popup_;
    QPointer<QWidget> anchor_;
    std::function<void()> place_;
    QList<QPointer<QObject>> watched_;
    QPointer<QWidget> window_; // the anchor's window while it has a QWindow
    bool pending_ = false;
};

} // namespace

void followAnchor(QWidget& popup, QWidget& anchor, std::function<void()> place)
{
    new AnchorFollower(popup, anchor, std::move(place));
}

} // namespace tarnwick
