#include "app/ApplicationKeys.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QShortcut>

namespace tarnwick {
namespace {

constexpr const char* attachedProperty = "tarnwickApplicationKeys";

bool takesKeys(const QWidget& window)
{
    if (!window.isWindow() || qobject_cast<const QDialog*>(&window))
        return false;
    const Qt::WindowType type = window.windowType();
    return type != Qt::ToolTip && type != Qt::Desktop && type != Qt::SplashScreen;
}

} // namespace

ApplicationKeys::ApplicationKeys(std::vector<Key> keys, std::function<void()> refresh, std::function<void()> beep,
                                 QObject* parent)
    : QObject(parent), keys_(std::move(keys)), refresh_(std::move(refresh)), beep_(std::move(beep))
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            attach(window);
    qApp->installEventFilter(this);
}

ApplicationKeys::~ApplicationKeys() { qApp->removeEventFilter(this); }

bool ApplicationKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType())
        attach(static_cast<QWidget*>(watched));
    return false;
}

void ApplicationKeys::attach(QWidget* window)
{
    if (!window || !takesKeys(*window) || window->property(attachedProperty).toBool())
        return;
    window->setProperty(attachedProperty, true);
    // One shortcut per window, each alive only while its window is the active one (or the
    // open popup), so two windows never claim the same key at once.
    for (const Key& key : keys_) {
        auto* shortcut = new QShortcut(key.sequence, window);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this, key, window = QPointer<QWidget>(window)] { press(key, window); });
    }
}

void ApplicationKeys::press(const Key& key, QWidget* window)
{
    if (refresh_)
        refresh_();
    if (!key.entry || !key.entry->isEnabled()) {
        if (beep_)
            beep_();
        return;
    }
    // As a click on the entry would, the menu the key was pressed in closes first.
    if (auto* menu = qobject_cast<QMenu*>(window))
        menu->close();
    // After the key's own handling: the entry may open a modal dialog or quit.
    QMetaObject::invokeMethod(key.entry, &QAction::trigger, Qt::QueuedConnection);
}

} // namespace tarnwick
