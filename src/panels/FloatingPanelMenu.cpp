#include "panels/FloatingPanelMenu.h"

#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"
#include "series/AppModel.h"

#include <QCoreApplication>

namespace tarnwick {

namespace {

QString keys(const char* text) { return platform::keyText(QString::fromUtf8(text)); }

} // namespace

FloatingPanelMenu::FloatingPanelMenu(AppModel& model, QWidget* parent) : QMenu(parent), model_(model)
{
    // Dark as the panel; set now, as the icons added to it are drawn for its palette.
    setPalette(Theme::darkPalette());
    using E = Entry;
    auto on = [this](Entry entry, auto handler) { connect(action(entry), &QAction::triggered, this, handler); };

    add(E::captureWindow, keys("Снимок выбранного окна · ⇧⌘Пробел"), "app-window");
    add(E::captureText, keys("Скопировать текст с экрана · ⇧⌘0"), "scan-text");
    add(E::captureScrolling, QStringLiteral("Снимок со скроллом…"), "file-down");
    add(E::record, QStringLiteral("Запись экрана…"), "circle-dot");
    addSeparator();
    section_ = addSection(QStringLiteral("Снимки серии"));
    add(E::paste, QStringLiteral("Вставить снимки и текст"));
    add(E::copyComments, QStringLiteral("Скопировать комментарии"));
    for (TransferMode mode : allCases<TransferMode>())
        add(static_cast<Entry>(static_cast<int>(E::chatMode) + static_cast<int>(mode)), tarnwick::title(mode));
    add(E::exportSeries, QStringLiteral("Сохранить серию в папку…"), "folder");
    add(E::repeatTransfer, QStringLiteral("Повторить последнюю вставку"));
    addSeparator();
    add(E::shortcuts, QStringLiteral("Горячие клавиши…"), "keyboard");
    add(E::taskbarIcon, QStringLiteral("Показывать иконку в панели задач"), "panel-bottom")->setCheckable(true);
    add(E::autoClear, keys("Очищать серию после ⌘V"))->setCheckable(true);
    add(E::permissions, QStringLiteral("Разрешения…"), "shield");
    add(E::screenAccess, QStringLiteral("Доступ к записи экрана"));
    add(E::monitoring, keys("Включить распознавание ⌘V"));
    add(E::automaticPaste, QStringLiteral("Разрешить автоматическую вставку текста"));
    addSeparator();
    add(E::clearSeries, QStringLiteral("Очистить серию…"));
    add(E::hide, QStringLiteral("Скрыть окно"));
    add(E::quit, QStringLiteral("Завершить Tarnwick"), "power");

    on(E::captureWindow, [this] { call(model_.captureWindowAction); });
    on(E::captureText, [this] { call(model_.captureTextAction); });
    on(E::captureScrolling, [this] { call(model_.captureScrollingAction); });
    on(E::record, [this] { call(model_.recordAction); });
    on(E::paste, [this] { call(model_.pasteAction); });
    on(E::copyComments, [this] { model_.copyComments(); });
    for (TransferMode mode : allCases<TransferMode>())
        on(static_cast<Entry>(static_cast<int>(E::chatMode) + static_cast<int>(mode)),
           [this, mode] { model_.prepareClipboard(mode); });
    on(E::exportSeries, [this] { call(model_.exportAction); });
    on(E::repeatTransfer, [this] { model_.repeatLastTransfer(); });
    on(E::shortcuts, [this] { call(model_.shortcutGuideAction); });
    on(E::taskbarIcon, [this] { model_.setShowsTaskbarIcon(!model_.showsTaskbarIcon()); });
    on(E::autoClear, [this] { model_.setAutoClear(!model_.autoClear()); });
    on(E::permissions, [this] { call(model_.permissionSetupAction); });
    // Each opens the permission window on its card, which shows whether the X server allows it and why not.
    on(E::screenAccess, [this] { call(model_.capabilityAction, platform::Capability::screen); });
    on(E::monitoring, [this] {
        model_.enableMonitoring();
        call(model_.capabilityAction, platform::Capability::pasteWatch);
    });
    on(E::automaticPaste, [this] {
        model_.allowAutomaticPaste();
        call(model_.capabilityAction, platform::Capability::autoPaste);
    });
    on(E::clearSeries, [this] { model_.setConfirmClear(true); });
    on(E::hide, [this] { call(model_.hideAction); });
    // The ordinary way out, so whatever the shell checks before quitting still runs.
    on(E::quit, [] { QCoreApplication::quit(); });
    refresh();
}

QAction* FloatingPanelMenu::add(Entry entry, const QString& title, const char* symbol)
{
    QAction* item = addAction(title);
    if (symbol)
        item->setIcon(platform::menuIcon(QString::fromLatin1(symbol), palette()));
    entries_[static_cast<std::size_t>(entry)] = item;
    return item;
}

void FloatingPanelMenu::refresh()
{
    using E = Entry;
    const QVector<Screenshot>& shots = model_.shots();
    const bool busy = model_.busy(), transfer = model_.transferInProgress();
    const bool empty = shots.isEmpty(), full = shots.size() >= AppModel::maximumShots;
    const bool packet = model_.clipboard().packet().has_value();

    action(E::captureWindow)->setEnabled(!busy && !transfer && !full);
    action(E::captureText)->setEnabled(!busy && !transfer && !model_.pastePending());
    action(E::captureScrolling)->setEnabled(!busy && !transfer && !full);
    action(E::record)->setEnabled(!busy && !transfer);
    action(E::paste)->setEnabled(!empty && !busy && !transfer);
    action(E::copyComments)->setEnabled(packet && !busy);
    for (E entry : {E::chatMode, E::combinedMode, E::imagesMode, E::commentsMode, E::exportSeries, E::clearSeries})
        action(entry)->setEnabled(!empty && !busy);
    action(E::repeatTransfer)->setEnabled(packet && !busy);
    action(E::taskbarIcon)->setChecked(model_.showsTaskbarIcon());
    action(E::autoClear)->setChecked(model_.autoClear());

    // One entry per shot, updated in place: "B · 3 комм.", identified by the shot's id.
    section_->setVisible(!empty);
    while (shots_.size() > shots.size())
        delete shots_.takeLast();
    while (shots_.size() < shots.size()) {
        auto* item = new QAction(this);
        insertAction(action(E::paste), item);
        connect(item, &QAction::triggered, this, [this, item] { call(model_.editAction, item->data().toUuid()); });
        shots_ << item;
    }
    for (qsizetype i = 0; i < shots.size(); ++i) {
        shots_[i]->setText(shotLabel(i) + QStringLiteral(" · ") + QString::number(shots[i].comments().size())
                           + QStringLiteral(" комм."));
        shots_[i]->setData(shots[i].id);
        shots_[i]->setEnabled(!busy);
    }
}

} // namespace tarnwick
