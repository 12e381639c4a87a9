#include "app/DesktopServices.h"

#include "panels/FloatingPanel.h"
#include "platform/WindowManager.h"
#include "platform/X11Connection.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tarnwick {

void revealInFileManager(const QString& folder)
{
    const QUrl parent = QUrl::fromLocalFile(QFileInfo(folder).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(parent);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(folder).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, parent] {
        if (watcher->isError())
            QDesktopServices::openUrl(parent);
        watcher->deleteLater();
    });
}

void setTaskbarVisible(QWidget& panel, bool visible)
{
    if (auto* floating = qobject_cast<FloatingPanel*>(&panel))
        return floating->setTaskbarEntry(visible);
    const Qt::WindowFlags kind = visible ? Qt::Window : Qt::Tool;
    if ((panel.windowFlags() & Qt::WindowType_Mask) == kind)
        return;
    const bool shown = panel.isVisible();
    panel.setWindowFlags((panel.windowFlags() & ~Qt::WindowType_Mask) | kind);
    if (shown)
        panel.show();
}

bool clipboardOutlivesUs()
{
    platform::X11Connection connection;
    return platform::clipboardManagerRunning(connection);
}

} // namespace tarnwick
