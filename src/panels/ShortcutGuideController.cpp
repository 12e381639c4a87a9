#include "panels/ShortcutGuideController.h"

#include "panels/ShortcutGuideView.h"
#include "platform/WindowPlacement.h"

#include <QEvent>

namespace tarnwick {

ShortcutGuideController::ShortcutGuideController(QSettings& settings, QString autosaveName, QObject* parent)
    : QObject(parent), settings_(settings), autosaveName_(std::move(autosaveName)),
      window_(std::make_unique<ShortcutGuideView>())
{
    window_->setWindowFlag(Qt::Window);
    window_->setWindowTitle(QStringLiteral("Горячие клавиши · Tarnwick"));
    platform::WindowPlacement& placement = platform::WindowPlacement::of(*window_);
    placement.setLeast(QSize(720, 520));
    placement.ask(QSize(820, 650));
    if (!autosaveName_.isEmpty()) {
        // A frame saved earlier replaces the centred one; junk leaves it centred. Saved on a
        // screen that has gone or shrunk since, it comes back onto the nearest one.
        restoring_ = true;
        if (window_->restoreGeometry(settings_.value(autosaveName_).toByteArray())) {
            placement.setPlace(platform::WindowPlacement::Place::at(window_->pos()));
            placement.ask(window_->size());
        }
        restoring_ = false;
    }
    window_->installEventFilter(this);
}

ShortcutGuideController::~ShortcutGuideController()
{
    // The window goes first; what it does while going is not a frame to keep.
    window_->removeEventFilter(this);
}

void ShortcutGuideController::show() { platform::WindowPlacement::of(*window_).present(); }

bool ShortcutGuideController::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if (watched == window_.get() && !restoring_ && !autosaveName_.isEmpty() &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Close))
        settings_.setValue(autosaveName_, window_->saveGeometry());
    return QObject::eventFilter(watched, event);
}

} // namespace tarnwick
