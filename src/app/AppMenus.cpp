#include "app/AppMenus.h"

#include "app/AppShell.h"
#include "app/ApplicationKeys.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"

#include <QCoreApplication>
#include <QHash>
#include <QMenu>
#include <QPalette>

namespace tarnwick {
namespace {

const QString taskbarTitle = QStringLiteral("Показывать иконку в панели задач");

} // namespace

AppMenus::AppMenus(AppShell& shell) : shell_(shell), tray_(new QMenu)
{
    AppShell& s = shell_;
    AppModel& model = s.model();
    auto on = [](QAction* action, auto handler) { QObject::connect(action, &QAction::triggered, action, handler); };
    auto call = [](const std::function<void()>& action) {
        if (action)
            action();
    };

    on(add(*tray_, QStringLiteral("Показать Tarnwick")), [&s] { s.showPanel(); });
    on(add(*tray_, QStringLiteral("Новый снимок"), QStringLiteral("⌘2")), [&s] { s.captureScreenshot(ScreenCaptureMode::area); });
    on(add(*tray_, QStringLiteral("Снимок выбранного окна"), QStringLiteral("⇧⌘Space")),
       [&s] { s.captureScreenshot(ScreenCaptureMode::window); });
    on(add(*tray_, QStringLiteral("Снимок со скроллом…")), [&model, call] { call(model.captureScrollingAction); });
    on(add(*tray_, QStringLiteral("Скопировать текст с экрана"), QStringLiteral("⇧⌘0")), [&s] { s.captureText(); });
    on(add(*tray_, QStringLiteral("Запись экрана…")), [&model, call] { call(model.recordAction); });
    on(add(*tray_, QStringLiteral("Открыть изображение…")), [&s] { s.openImage(); });
    on(add(*tray_, QStringLiteral("Сохранить серию в папку…")), [&s] { s.exportSeries(); });
    tray_->addSeparator();
    on(add(*tray_, QStringLiteral("Горячие клавиши…")), [&s] { s.showShortcutGuide(); });
    makeTaskbarItem(*tray_);
    on(add(*tray_, QStringLiteral("Разрешения…")), [&s] { s.showPermissionSetup(); });
    tray_->addSeparator();
    // The ordinary way out, so the quit check runs.
    on(add(*tray_, QStringLiteral("Завершить Tarnwick"), QStringLiteral("⌘Q")), [] { QCoreApplication::quit(); });
    applyIcons(*tray_);

    // The panel's menu carries what it lacks of the tray's, for desktops without a tray.
    if (FloatingPanel* panel = s.panel()) {
        FloatingPanelMenu& menu = panel->view().menu();
        QAction* quit = menu.action(FloatingPanelMenu::Entry::quit);
        QAction* open = new QAction(QStringLiteral("Открыть изображение…"), &menu);
        QAction* about = new QAction(QStringLiteral("О Tarnwick"), &menu);
        menu.insertAction(quit, open);
        menu.insertAction(quit, about);
        on(open, [&s] { s.openImage(); });
        on(about, [&s] { s.about(); });
        applyIcons(menu);

        // This menu stands in for the menu bar, so its entries carry the menu bar's keys
        // and decide, by their enabled state, what a key does.
        std::vector<ApplicationKeys::Key> keys;
        for (auto [entry, text] : {std::pair{open, u"⌘O"}, {menu.action(FloatingPanelMenu::Entry::exportSeries), u"⌘E"},
                                   {quit, u"⌘Q"}}) {
            const QKeySequence sequence(platform::keyText(text));
            showKeys(entry, sequence);
            keys.push_back({sequence, entry});
        }
        keys_ = std::make_unique<ApplicationKeys>(
            std::move(keys), [&menu] { menu.refresh(); }, [&s] { s.beep(); });
    }
}

AppMenus::~AppMenus() { delete tray_; }

QAction* AppMenus::add(QMenu& menu, const QString& title, const QString& keys)
{
    QAction* action = menu.addAction(title);
    if (!keys.isEmpty())
        showKeys(action, QKeySequence(platform::keyText(keys)));
    return action;
}

void AppMenus::showKeys(QAction* entry, const QKeySequence& keys)
{
    // Shown beside the entry; the keys themselves are global hot keys or the application keys.
    entry->setShortcut(keys);
    entry->setShortcutContext(Qt::WidgetShortcut);
}

QAction* AppMenus::makeTaskbarItem(QMenu& menu)
{
    QAction* item = add(menu, taskbarTitle);
    item->setCheckable(true);
    item->setChecked(shell_.model().showsTaskbarIcon());
    AppShell& s = shell_;
    QObject::connect(item, &QAction::triggered, item, [&s] { s.toggleTaskbarIcon(); });
    taskbarItems_ << item;
    return item;
}

void AppMenus::setTaskbarChecked(bool on)
{
    for (QAction* item : taskbarItems_)
        item->setChecked(on);
}

QString AppMenus::symbolFor(const QString& title)
{
    static const QHash<QString, QString> symbols{
        {QStringLiteral("Показать Tarnwick"), QStringLiteral("app-window")},
        {QStringLiteral("Новый снимок"), QStringLiteral("scan")},
        {QStringLiteral("Снимок выбранного окна"), QStringLiteral("app-window")},
        {QStringLiteral("Снимок со скроллом…"), QStringLiteral("file-down")},
        {QStringLiteral("Скопировать текст с экрана"), QStringLiteral("scan-text")},
        {QStringLiteral("Запись экрана…"), QStringLiteral("circle-dot")},
        {QStringLiteral("Открыть изображение…"), QStringLiteral("image")},
        {QStringLiteral("Сохранить серию в папку…"), QStringLiteral("folder")},
        {QStringLiteral("Горячие клавиши…"), QStringLiteral("keyboard")},
        {taskbarTitle, QStringLiteral("panel-bottom")},
        {QStringLiteral("Разрешения…"), QStringLiteral("shield")},
        {QStringLiteral("О Tarnwick"), QStringLiteral("info")},
        {QStringLiteral("Завершить Tarnwick"), QStringLiteral("power")},
    };
    return symbols.value(title);
}

void AppMenus::applyIcons(QMenu& menu)
{
    for (QAction* action : menu.actions()) {
        const QString symbol = symbolFor(action->text());
        if (!platform::iconResource(symbol).isEmpty() && action->icon().isNull()) {
            const QIcon icon = platform::menuIcon(symbol, menu.palette());
            if (!icon.isNull())
                action->setIcon(icon);
        }
        if (QMenu* sub = action->menu())
            applyIcons(*sub);
    }
}

} // namespace tarnwick
