#include "panels/Theme.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {

// The tray icon until the shell's own status item lands: the marker-coloured disk.
QIcon trayIcon()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(tarnwick::Theme::marker(), 5);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.drawPath(tarnwick::FloppyDiskIcon::path(QRectF(4, 4, 56, 56)));
    return QIcon(pixmap);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setQuitOnLastWindowClosed(false);

    QSystemTrayIcon tray(trayIcon());
    QMenu menu;
    QObject::connect(menu.addAction(QStringLiteral("Завершить Tarnwick")), &QAction::triggered, &app, &QApplication::quit);
    tray.setContextMenu(&menu);
    tray.setToolTip(QStringLiteral("Tarnwick"));
    tray.show();
    return app.exec();
}
