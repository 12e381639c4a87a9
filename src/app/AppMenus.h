#pragma once

#include <QList>
#include <QString>
#include <memory>

class QAction;
class QKeySequence;
class QMenu;

namespace tarnwick {

class AppShell;
class ApplicationKeys;

// The tray icon's menu and the entries the shell adds to the floating panel's
// menu (opening an image, the about box), so that every command is reachable
// with or without a tray host, and the menu bar's keys (Ctrl+O, Ctrl+E, Ctrl+Q)
// in every window. Entries call the shell's commands; the taskbar entries
// follow the model's preference. GUI thread; owned by the shell.
class AppMenus {
public:
    explicit AppMenus(AppShell& shell);
    ~AppMenus();

    QMenu& trayMenu() const { return *tray_; }
    // Every "taskbar icon" entry, for their check marks.
    const QList<QAction*>& taskbarItems() const { return taskbarItems_; }
    void setTaskbarChecked(bool on);

    // Gives every entry of `menu` (and of its submenus) the icon its title stands for.
    static void applyIcons(QMenu& menu);
    // The symbol of a menu title, empty for titles without one.
    static QString symbolFor(const QString& title);

private:
    QAction* add(QMenu& menu, const QString& title, const QString& keys = {});
    QAction* makeTaskbarItem(QMenu& menu);
    static void showKeys(QAction* entry, const QKeySequence& keys);

    AppShell& shell_;
    QMenu* tray_;
    QList<QAction*> taskbarItems_;
    std::unique_ptr<ApplicationKeys> keys_;
};

} // namespace tarnwick
