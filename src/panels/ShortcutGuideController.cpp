#include "panels/ShortcutGuideController.h"

#include "panels/PointSizeKeeper.h"
#include "panels/ShortcutGuideView.h"
#include "panels/WindowPlacement.h"
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
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect usable = screen ? platform::usableArea(*screen) : QRect();
    window_->resize(screen ? fittedHeight(QSize(820, 650), window_->minimumSize(), usable) : QSize(820, 650));
    if (screen)
        window_->move(centredOn(usable, window_->size()));
    if (!autosaveName_.isEmpty()) {
        // A frame saved earlier replaces the centred one; junk leaves it centred.
        restoring_ = true;
        if (window_->restoreGeometry(settings_.value(autosaveName_).toByteArray())) {
            // Saved on a screen that has gone or shrunk since: its title bar comes back on this one.
            QScreen* shown = QGuiApplication::screenAt(window_->geometry().center());
            if (QScreen* on = shown ? shown : screen)
                window_->move(titleBarOn(platform::usableArea(*on), window_->frameGeometry()));
        }
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
