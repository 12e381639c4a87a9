#include "panels/PopupAnchor.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

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
        } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && !pending_) {
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
        for (const QPointer<QWidget>& w : std::exchange(watched_, {}))
            if (w)
                w->removeEventFilter(this);
        for (QWidget* w = on ? anchor_.data() : nullptr; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
            w->installEventFilter(this);
            watched_ << w;
        }
    }

    QWidget& popup_;
    QPointer<QWidget> anchor_;
    std::function<void()> place_;
    QList<QPointer<QWidget>> watched_;
    bool pending_ = false;
};

} // namespace

void followAnchor(QWidget& popup, QWidget& anchor, std::function<void()> place)
{
    new AnchorFollower(popup, anchor, std::move(place));
}

} // namespace tarnwick
