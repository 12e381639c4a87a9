#include "panels/ShortcutGuideController.h"

#include "panels/PointSizeKeeper.h"
#include "panels/ShortcutGuideView.h"
#include "platform/UsableArea.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace tarnwick {

ShortcutGuideController::ShortcutGuideController(QSettings& settings, QString autosaveName, QObject* parent)
    : QObject(parent), settings_(settings), autosaveName_(std::move(autosaveName)),
      window_(std::make_unique<ShortcutGuideView>())
{
    window_->setWindowFlag(Qt::Window);
    window_->setWindowTitle(QStringLiteral("Горячие клавиши · Tarnwick"));
    window_->setMinimumSize(720, 520);
    window_->resize(820, 650);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window_->size());
        frame.moveCenter(platform::usableArea(*screen).center());
        window_->move(frame.topLeft());
    }
    if (!autosaveName_.isEmpty()) {
        // A frame saved earlier replaces the centred one; junk leaves it centred.
        restoring_ = true;
        window_->restoreGeometry(settings_.value(autosaveName_).toByteArray());
        restoring_ = false;
    }
    window_->installEventFilter(this);
    new PointSizeKeeper(*window_);
}

ShortcutGuideController::~ShortcutGuideController()
{
    // The window goes first; what it does while going is not a frame to keep.
    window_->removeEventFilter(this);
}

void ShortcutGuideController::show()
{
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool ShortcutGuideController::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if (watched == window_.get() && !restoring_ && !autosaveName_.isEmpty() &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Close))
        settings_.setValue(autosaveName_, window_->saveGeometry());
    return QObject::eventFilter(watched, event);
}

} // namespace tarnwick
