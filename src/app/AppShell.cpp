#include "app/AppShell.h"

#include "app/AppMenus.h"
#include "app/DesktopServices.h"
#include "app/PickerLauncher.h"
#include "app/ScrollingCaptureController.h"
#include "app/X11HandOffHooks.h"
#include "app/SessionFiles.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/FileDialogs.h"
#include "panels/PermissionSetupController.h"
#include "panels/PermissionSetupModel.h"
#include "panels/PermissionSetupView.h"
#include "panels/ShortcutGuideController.h"
#include "panels/ShortcutGuideView.h"
#include "panels/Theme.h"
#include "platform/Icons.h"
#include "platform/KeyNames.h"
#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"
#include "render/ScreenshotRenderer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace tarnwick {
namespace {

QString keys(const char* text) { return platform::keyText(QString::fromUtf8(text)); }

const QString imageFilter = QStringLiteral("Изображения (*.png *.jpg *.jpeg *.tif *.tiff *.webp)");

AppShell::Hooks withDefaults(AppShell::Hooks hooks)
{
    if (!hooks.beep)
        hooks.beep = [] { QApplication::beep(); };
    if (!hooks.chooseFolder)
        hooks.chooseFolder = [](const QString& message, const QString& prompt, const QString& start) {
            std::unique_ptr<QFileDialog> dialog(makeFolderDialog(nullptr, prompt, message, prompt, start));
            std::optional<QString> chosen;
            if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
                chosen = dialog->selectedFiles().constFirst();
            return chosen;
        };
    if (!hooks.chooseImage)
        hooks.chooseImage = [] {
            const QStringList files = runFileDialog(nullptr, QStringLiteral("Открыть изображение"), imageFilter,
                                                    QFileDialog::ExistingFile, QFileDialog::AcceptOpen);
            return files.isEmpty() ? std::nullopt : std::optional<QString>(files.constFirst());
        };
    if (!hooks.chooseLayerImages)
        hooks.chooseLayerImages = [](QWidget* editor) {
            return runFileDialog(editor, QStringLiteral("Добавить изображение"), imageFilter, QFileDialog::ExistingFiles,
                                 QFileDialog::AcceptOpen);
        };
    if (!hooks.confirmQuit)
        hooks.confirmQuit = [](const QString& informative) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), QStringLiteral("Завершить Tarnwick?"));
            box.setInformativeText(informative);
            QPushButton* stay = box.addButton(QStringLiteral("Остаться"), QMessageBox::RejectRole);
            QPushButton* quit = box.addButton(QStringLiteral("Завершить"), QMessageBox::AcceptRole);
            // Return and Escape keep the series: only a deliberate choice loses it.
            box.setDefaultButton(stay);
            box.setEscapeButton(stay);
            Theme::giveRoom(box);
            box.exec();
            return box.clickedButton() == quit;
        };
    if (!hooks.about)
        hooks.about = [](const QString& title, const QString& informative) {
            QMessageBox box(QMessageBox::Information, QStringLiteral("Tarnwick"), title);
            box.setInformativeText(informative);
            Theme::giveRoom(box);
            box.exec();
        };
    if (!hooks.reveal)
        hooks.reveal = &revealInFileManager;
    if (!hooks.readImage)
        hooks.readImage = &CapturedImage::read;
    return hooks;
}

// Prepared series outlive the run by up to a week, so they go on disk rather than
// into the RAM-backed runtime folder.
QString clipboardRoot()
{
    try {
        return platform::privateCacheRoot();
    } catch (const TarnwickError&) {
        // Refused (a link, another user's folder): each preparation then says why in the status line.
        return platform::privateCacheRootPath();
    }
}

QIcon trayIcon()
{
    QIcon icon = platform::symbolIcon(u"scan", Theme::marker());
    return icon.isNull() ? QApplication::windowIcon() : icon;
}

} // namespace

AppShell::AppShell(QSettings& preferences, platform::ClipboardBackend& board, QString temporaryRoot, Hooks hooks,
                   QObject* parent)
    : QObject(parent), preferences_(preferences), temporaryRoot_(std::move(temporaryRoot)),
      hooks_(withDefaults(std::move(hooks)))
{
    bridge_ = std::make_unique<ClipboardBridge>(board, clipboardRoot(), &ScreenshotRenderer::render);
    model_ = std::make_unique<AppModel>(*bridge_, preferences_);
    model_->beep = [this] { beep(); };
    model_->alert = [this](const QString& sentence) {
        asking([&] {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"));
            box.setInformativeText(sentence);
            Theme::giveRoom(box);
            box.exec();
        });
    };
    handOffHooks_ = std::make_unique<X11HandOffHooks>();
    handOffHooks_->install(*model_);
}

AppShell::~AppShell() = default;

QMenu* AppShell::trayMenu() const { return menus_ ? &menus_->trayMenu() : nullptr; }

void AppShell::beep() { hooks_.beep(); }

void AppShell::start(const QStringList& arguments)
{
    AppModel& model = *model_;
    model.taskbarVisibilityChanged = [self = QPointer<AppShell>(this)](bool on) {
        if (!self)
            return;
        setTaskbarVisible(*self->panel_, on);
        self->menus_->setTaskbarChecked(on);
    };
    panel_ = std::make_unique<FloatingPanel>(model, preferences_);
    setTaskbarVisible(*panel_, model.showsTaskbarIcon());
    menus_ = std::make_unique<AppMenus>(*this);

    tray_ = new QSystemTrayIcon(trayIcon(), this);
    tray_->setToolTip(keys("Tarnwick · ⌘2 область · ⇧⌘Пробел окно · ⇧⌘0 текст"));
    tray_->setContextMenu(&menus_->trayMenu());
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            reopen();
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        model.setStatus(QStringLiteral("Значок в трее недоступен: все команды — в меню этой панели"));

    fillActions();
    useScreenRecorder();
    setupPermissions();
    registerHotKeys();
    // The icon says Tarnwick is ready, so the hot keys are grabbed before it shows.
    // Qt embeds it whenever a tray host appears, also later.
    tray_->show();
    pickers().prepare();
    activeWindows_ = std::make_unique<platform::ActiveWindowWatch>();
    showPanel();
    recoverCrashedRuns(&preferences_, [self = QPointer<AppShell>(this)](const QString& sentence) {
        if (self)
            self->model_->setStatus(sentence);
    });

    const qsizetype open = arguments.indexOf(QStringLiteral("--open-image"));
    if (open >= 0 && open + 1 < arguments.size()) {
        importImage(arguments[open + 1]);
        return;
    }
    permissionSetup_->presentAtLaunch();
}

void AppShell::handleArguments(const QStringList& arguments)
{
    const qsizetype open = arguments.indexOf(QStringLiteral("--open-image"));
    if (open >= 0 && open + 1 < arguments.size()) {
        // A session that runs brings itself forward; the image opens when it has ended.
        admit(ShellCommand::openFile);
        importImage(arguments[open + 1]);
        return;
    }
    reopen();
}

void AppShell::fillActions()
{
    AppModel& model = *model_;
    const QPointer<AppShell> self(this);
    auto command = [self](void (AppShell::*method)()) {
        return [self, method] {
            if (self)
                (self.data()->*method)();
        };
    };
    model.captureAction = [self] { if (self) self->captureScreenshot(ScreenCaptureMode::area); };
    model.captureWindowAction = [self] { if (self) self->captureScreenshot(ScreenCaptureMode::window); };
    model.captureTextAction = command(&AppShell::captureText);
    model.captureScrollingAction = command(&AppShell::captureScrolling);
    model.recordAction = command(&AppShell::recordScreen);
    model.exportAction = command(&AppShell::exportSeries);
    model.showAction = command(&AppShell::showPanel);
    model.hideAction = [self] { if (self && self->panel_) self->panel_->hide(); };
    model.permissionSetupAction = command(&AppShell::showPermissionSetup);
    model.shortcutGuideAction = command(&AppShell::showShortcutGuide);
    model.capabilityAction = [self](platform::Capability capability) {
        if (self && self->permissionSetup_)
            self->permissionSetup_->presentCard(capability);
    };
    model.editAction = [self](const QUuid& id) {
        if (self)
            self->editShot(id);
    };
    model.pasteAction = [self] {
        if (self && self->activeWindows_ && self->activeWindows_->lastExternal())
            self->model_->handOff().pasteAll(*self->activeWindows_->lastExternal());
    };
}

void AppShell::setupPermissions()
{
    permissionModel_ = std::make_unique<PermissionSetupModel>(PermissionSetupModel::Check{}, [this](SetupPermission p) {
        if (p == SetupPermission::screen)
            screenPermission_.request();
        else if (p == SetupPermission::pasteWatch)
            handOffHooks_->monitor().start();
    });
    permissionSetup_ = std::make_unique<PermissionSetupController>(*permissionModel_);
    permissionSetup_->onPermissionsChanged = [self = QPointer<AppShell>(this)] {
        if (!self)
            return;
        self->model_->refresh();
        self->model_->setScreenPermissionRequired(!self->permissionModel_->granted().count(SetupPermission::screen));
    };
}

void AppShell::registerHotKeys()
{
    shortcut_ = std::make_unique<GlobalCaptureShortcut>(true);
    const QPointer<AppShell> self(this);
    shortcut_->action = [self] { if (self) self->captureScreenshot(ScreenCaptureMode::area); };
    shortcut_->textAction = [self] { if (self) self->captureText(); };
    shortcut_->windowAction = [self] { if (self) self->captureScreenshot(ScreenCaptureMode::window); };
    const GlobalCaptureShortcut& grabbed = *shortcut_;
    // One sentence and nothing registered: the session has no global keys at all (Wayland).
    if (!grabbed.captureRegistered() && !grabbed.textRegistered() && !grabbed.windowRegistered()
        && grabbed.failures().size() == 1) {
        model_->setStatus(grabbed.failures().constFirst());
        return;
    }
    if (!grabbed.textRegistered())
        model_->setStatus(keys("⇧⌘0 недоступно. Текст можно скопировать через меню Tarnwick"));
    if (!grabbed.windowRegistered())
        model_->setStatus(keys("⇧⌘Пробел недоступно. Выберите снимок окна в меню Tarnwick"));
}

void AppShell::showPanel()
{
    if (admit(ShellCommand::showPanel) && panel_)
        panel_->present();
}

void AppShell::reopen()
{
    if (admit(ShellCommand::reopen))
        showPanel();
}

void AppShell::showShortcutGuide()
{
    if (!shortcutGuide_)
        shortcutGuide_ = std::make_unique<ShortcutGuideController>(preferences_, QStringLiteral("ShortcutGuideWindow"));
    shortcutGuide_->show();
}

void AppShell::showPermissionSetup()
{
    if (permissionSetup_)
        permissionSetup_->present(true);
}

void AppShell::toggleTaskbarIcon() { model_->setShowsTaskbarIcon(!model_->showsTaskbarIcon()); }

QString AppShell::aboutTitle() { return QStringLiteral("Tarnwick ") + QCoreApplication::applicationVersion(); }

QString AppShell::aboutText()
{
    return keys("Нативные снимки экрана с отдельными комментариями.\n\n"
                "⌘2 — выделить область\n⇧⌘Пробел — выбрать окно\n⇧⌘0 — скопировать текст с экрана\n"
                "⌘↩ — сохранить разметку\n⌘V — вставить серию\n\n"
                "Распознавание текста работает на компьютере. Текст заменяет содержимое буфера, а серия снимков "
                "остаётся в памяти.\n\n"
                "Приложение хранит серию до вставки. Для чатов снимки и комментарии вставляются последовательно. "
                "Кнопка «Вставить снимки и текст» требует «Автоматическую вставку» (расширение XTEST X-сервера). "
                "Для обычного ⌘V нужно также «Отслеживание ⌘V» (расширение RECORD). Без них используйте "
                "«Скопировать комментарии» после вставки снимков.\n\n"
                "Блюр уменьшает читаемость и не гарантирует сокрытия секретных данных.");
}

void AppShell::about()
{
    asking([this] { hooks_.about(aboutTitle(), aboutText()); });
}

} // namespace tarnwick
