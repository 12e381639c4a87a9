#include "series/AppModel.h"

#include "platform/Capabilities.h"
#include "platform/KeyNames.h"
#include "platform/TarnwickError.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QSaveFile>
#include <QUuid>

namespace tarnwick {
namespace {

const QString keyAutoClear = QStringLiteral("autoClear");
const QString keyShowsDockIcon = QStringLiteral("showsDockIcon");
const QString keyImageSaveDirectory = QStringLiteral("imageSaveDirectory");
const QString keyColorCodeFormat = QStringLiteral("colorCodeFormat");
const QString keyEditorVerticalToolbar = QStringLiteral("editorVerticalToolbar");

QString keys(const char* text) { return platform::keyText(QString::fromUtf8(text)); }

// What the X server lacks, in place of the system settings panes the texts name elsewhere.
const QString recordMissing = QStringLiteral("Включите расширение RECORD на X-сервере");
const QString xtestMissing = QStringLiteral("Включите расширение XTEST на X-сервере");
const QString screenMissing = QStringLiteral("X-сервер не отдаёт изображение экрана (запрос GetImage отклонён)");

} // namespace

AppModel::AppModel(ClipboardBridge& clipboard, QSettings& preferences, bool startMonitoring, QString display,
                   QObject* parent)
    : QObject(parent), clipboard_(clipboard), preferences_(preferences), connection_(display), monitor_(display),
      keyboard_(connection_, &monitor_), startMonitoring_(startMonitoring), status_(keys("Снимок → разметка → ⌘V"))
{
    alert = [](const QString& sentence) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"));
        box.setInformativeText(sentence);
        box.exec();
    };
    beep = [] { QApplication::beep(); };
    pastePermission = [this] { return platform::hasAccessibility(connection_); };
    postPaste = [this](quint32 window) { return keyboard_.paste(window) == platform::PasteOutcome::Posted; };
    frontmostWindow = [this] { return platform::ActiveWindow::query(connection_); };
    activateWindow = [this](quint32 window) { platform::activateWindow(connection_, window); };
    // The model is the timers' context: a step still pending dies with it.
    after = [this](int ms, std::function<void()> step) { QTimer::singleShot(ms, this, std::move(step)); };

    readPreferences();
    monitor_.setOnPaste([self = QPointer<AppModel>(this)] {
        if (self)
            self->handlePaste();
    });
    if (startMonitoring_)
        monitor_.start();
    monitoring_ = monitor_.isMonitoring();
    automaticPasteAllowed_ = pastePermission();
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &AppModel::refresh);
    timer_.start();
}

void AppModel::readPreferences()
{
    const QString directory = preferences_.value(keyImageSaveDirectory).toString();
    if (!directory.isEmpty())
        imageSaveDirectory_ = directory;
    if (auto format = fromRaw<ColorCodeFormat>(preferences_.value(keyColorCodeFormat).toString()))
        colorCodeFormat_ = *format;
    // QSettings keeps types only loosely: accept real booleans and their text forms, nothing else.
    const QVariant autoClear = preferences_.value(keyAutoClear);
    const QString autoClearText = autoClear.toString();
    if (autoClear.typeId() == QMetaType::Bool || autoClearText == u"true" || autoClearText == u"false")
        autoClear_ = autoClear.toBool();
    const QVariant vertical = preferences_.value(keyEditorVerticalToolbar);
    editorVerticalToolbar_ = vertical.typeId() == QMetaType::Bool ? vertical.toBool() : vertical.toString() == u"true";
    const QVariant dock = preferences_.value(keyShowsDockIcon);
    showsDockIcon_ = dock.typeId() == QMetaType::Bool ? dock.toBool() : dock.toString() == u"true";
}

template <typename T>
void AppModel::assign(T& field, const T& value)
{
    if (field == value)
        return;
    field = value;
    emit changed();
}

void AppModel::setStatus(const QString& status) { assign(status_, status); }
void AppModel::setBusy(bool busy) { assign(busy_, busy); }
void AppModel::setScreenPermissionRequired(bool required) { assign(screenPermissionRequired_, required); }
void AppModel::setConfirmClear(bool on) { assign(confirmClear_, on); }

void AppModel::setAutoClear(bool on)
{
    preferences_.setValue(keyAutoClear, on);
    assign(autoClear_, on);
}

void AppModel::setShowsDockIcon(bool on)
{
    preferences_.setValue(keyShowsDockIcon, on);
    const bool differs = on != showsDockIcon_;
    assign(showsDockIcon_, on);
    if (differs && dockVisibilityChanged)
        dockVisibilityChanged(on);
}

void AppModel::setColorCodeFormat(ColorCodeFormat format)
{
    colorCodeFormat_ = format;
    preferences_.setValue(keyColorCodeFormat, rawString(format));
}

void AppModel::setEditorVerticalToolbar(bool vertical)
{
    editorVerticalToolbar_ = vertical;
    preferences_.setValue(keyEditorVerticalToolbar, vertical);
}

bool AppModel::save(Screenshot shot, const QVector<Annotation>& annotations, bool prepareForPaste)
{
    shot.annotations = annotations;
    auto existing = std::find_if(shots_.begin(), shots_.end(), [&](const Screenshot& s) { return s.id == shot.id; });
    if (existing != shots_.end()) {
        *existing = std::move(shot);
    } else {
        // A 27th shot would be labelled "?" like any further one, and their files would collide.
        if (shots_.size() >= maximumShots) {
            beep();
            return false;
        }
        shots_.push_back(std::move(shot));
    }
    ++revision_;
    emit changed();
    if (prepareForPaste)
        prepareClipboard(TransferMode::chat);
    return true;
}

void AppModel::prepareClipboard(TransferMode mode)
{
    if (shots_.isEmpty())
        return;
    if (!reported([&] { clipboard_.prepare(shots_, mode); }))
        return;
    // A paste still pending may be reading the replaced transfer's files: they go next time.
    if (!pastePending_ && !transferInProgress_)
        clipboard_.removeReplacedFolders();
    awaitingComments_ = false;
    transferMode_ = mode;
    clipboardReady_ = true;
    switch (mode) {
    case TransferMode::chat: status_ = QStringLiteral("Сначала снимки, затем отдельный текст"); break;
    case TransferMode::combined: status_ = keys("Серия готова — вставьте через ⌘V"); break;
    case TransferMode::images:
    case TransferMode::comments: status_ = QStringLiteral("В буфере: ") + title(mode).toLower(); break;
    }
    emit changed();
}

void AppModel::deleteShot(const QUuid& id)
{
    shots_.removeIf([&](const Screenshot& s) { return s.id == id; });
    ++revision_;
    if (shots_.isEmpty()) {
        clipboardReady_ = false;
        status_ = QStringLiteral("Серия пуста");
        emit changed();
        return;
    }
    emit changed();
    prepareClipboard(TransferMode::chat);
}

void AppModel::clear(bool afterPaste)
{
    shots_.clear();
    ++revision_;
    clipboardReady_ = false;
    awaitingComments_ = false;
    lastTransferAvailable_ = clipboard_.packet().has_value();
    status_ = afterPaste ? QStringLiteral("Серия передана. Начните новую с A") : QStringLiteral("Новая серия начинается с A");
    emit changed();
}

void AppModel::repeatLastTransfer()
{
    if (const auto& packet = clipboard_.packet(); packet && !reported([&] { clipboard_.publish(*packet, TransferMode::chat); }))
        return;
    awaitingComments_ = false;
    transferMode_ = TransferMode::chat;
    status_ = QStringLiteral("Последняя серия снова готова к вставке");
    emit changed();
}

void AppModel::copyComments()
{
    const bool done = reported([&] {
        if (!shots_.isEmpty() && !awaitingComments_)
            clipboard_.prepare(shots_, TransferMode::comments);
        else if (const auto& packet = clipboard_.packet())
            clipboard_.publish(*packet, TransferMode::comments);
    });
    if (!done)
        return;
    awaitingComments_ = true;
    transferMode_ = TransferMode::comments;
    clipboardReady_ = true;
    status_ = keys("Комментарии в буфере — вставьте через ⌘V");
    emit changed();
}

bool AppModel::copyRecognizedText(const QString& text, bool allowWhitespace)
{
    if (!clipboard_.copyText(text, allowWhitespace))
        return false;
    ++revision_;
    awaitingComments_ = false;
    clipboardReady_ = false;
    status_ = keys("Текст скопирован — ⌘V");
    emit changed();
    return true;
}

void AppModel::copySampledColor(const SampledColor& color, ColorCodeFormat format)
{
    const QString code = colorCode(format, color);
    copyRecognizedText(code, false);
    setStatus(QStringLiteral("Цвет ") + code + QStringLiteral(" скопирован"));
}

QString AppModel::copyUnmarkedImage(const Screenshot& shot, const QVector<Annotation>& annotations)
{
    Screenshot copy = shot;
    copy.annotations = annotations;
    const QString path = clipboard_.copyUnmarkedImage(copy);
    ++revision_;
    awaitingComments_ = false;
    clipboardReady_ = false;
    status_ = keys("Снимок без маркировки скопирован — ⌘V");
    emit changed();
    return path;
}

void AppModel::setImageSaveDirectory(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isDir())
        throw TarnwickError::message(QStringLiteral("Выберите доступную папку для сохранения снимков."));
    const QString standardized = QDir::cleanPath(info.absoluteFilePath());
    preferences_.setValue(keyImageSaveDirectory, standardized);
    assign(imageSaveDirectory_, std::optional<QString>(standardized));
}

QString AppModel::saveUnmarkedImage(const Screenshot& shot)
{
    if (!imageSaveDirectory_)
        throw TarnwickError::message(QStringLiteral("Выберите папку сохранения снимков."));
    const QFileInfo folder(*imageSaveDirectory_);
    if (!folder.exists() || !folder.isDir())
        throw TarnwickError::message(QStringLiteral("Папка сохранения недоступна. Выберите другую папку в меню рядом с дискетой."));
    const QByteArray png = clipboard_.unmarkedPng(shot);
    const QString name = QStringLiteral("Tarnwick ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"))
                       + u' ' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8) + QStringLiteral(".png");
    const QString path = QDir(*imageSaveDirectory_).filePath(name);
    // The user's own folder: ordinary permissions, but never a half-written file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        throw TarnwickError::message(QStringLiteral("Не удалось сохранить снимок в выбранную папку. Проверьте место на диске и права доступа."));
    return path;
}

bool AppModel::reported(const std::function<void()>& clipboardWork)
{
    try {
        clipboardWork();
        return true;
    } catch (const std::exception& error) {
        showError(error);
        return false;
    }
}

void AppModel::showError(const std::exception& error)
{
    if (const auto* tarnwick = dynamic_cast<const TarnwickError*>(&error))
        showError(tarnwick->errorDescription());
    else
        showError(QString::fromUtf8(error.what()));
}

void AppModel::showError(const QString& sentence)
{
    setStatus(sentence);
    if (alert)
        alert(sentence);
}

void AppModel::refresh()
{
    const bool ready = clipboard_.isCurrent() && !shots_.isEmpty();
    // A watch that broke with its connection, or never started, is tried again.
    if (startMonitoring_ && !monitor_.isMonitoring())
        monitor_.start();
    const bool watching = monitor_.isMonitoring();
    const bool permission = pastePermission ? pastePermission() : false;
    if (ready == clipboardReady_ && watching == monitoring_ && permission == automaticPasteAllowed_)
        return;
    clipboardReady_ = ready;
    monitoring_ = watching;
    automaticPasteAllowed_ = permission;
    emit changed();
}

void AppModel::updateMonitoring() { assign(monitoring_, monitor_.isMonitoring()); }

void AppModel::enableMonitoring()
{
    monitor_.start();
    updateMonitoring();
    if (monitoring_)
        return;
    setStatus(recordMissing);
    openInputSettings();
}

void AppModel::openInputSettings()
{
    if (!connection_.connect())
        setStatus(connection_.errorText());
    else if (!platform::hasInputMonitoring(connection_))
        setStatus(recordMissing);
}

void AppModel::openScreenSettings()
{
    if (!connection_.connect())
        setStatus(connection_.errorText());
    else if (!platform::hasScreenAccess(connection_))
        setStatus(screenMissing);
}

void AppModel::allowAutomaticPaste()
{
    assign(automaticPasteAllowed_, pastePermission ? pastePermission() : false);
    if (!automaticPasteAllowed_)
        setStatus(xtestMissing);
}

bool AppModel::stillCurrent(int revision, const std::optional<std::uint64_t>& changeCount) const
{
    return revision == revision_ && clipboard_.isCurrent() && clipboard_.changeCount() == changeCount;
}

void AppModel::handlePaste()
{
    if (busy_ || !clipboard_.isCurrent() || pastePending_)
        return;
    // The mode of what is on the clipboard, not the one last chosen in the panel.
    const TransferMode mode = clipboard_.mode();
    const bool comments = awaitingComments_ ? (mode == TransferMode::chat || mode == TransferMode::comments)
                                            : mode == TransferMode::chat;
    // Images mode never reacts; combined only clears.
    if (!comments && !(!shots_.isEmpty() && mode == TransferMode::combined && autoClear_))
        return;

    const int revision = revision_;
    const std::optional<std::uint64_t> changeCount = clipboard_.changeCount();
    const bool chat = mode == TransferMode::chat;
    std::optional<quint32> frontmost;
    if (const auto active = frontmostWindow ? frontmostWindow() : std::nullopt)
        frontmost = active->window;
    pastePending_ = true;
    transferInProgress_ = true;
    emit changed();
    after(commentDelayMs, [self = QPointer<AppModel>(this), revision, changeCount, chat, frontmost] {
        if (self)
            self->commentStep(revision, changeCount, chat, frontmost);
    });
}

void AppModel::commentStep(int revision, std::optional<std::uint64_t> changeCount, bool chat,
                           std::optional<quint32> frontmost)
{
    pastePending_ = false;
    transferInProgress_ = false;
    emit changed();
    if (!stillCurrent(revision, changeCount) || busy_)
        return;

    const std::optional<TransferPacket>& packet = clipboard_.packet();
    if (chat && packet && !packet->comments.isEmpty()) {
        if (!reported([&] { clipboard_.publish(*packet, TransferMode::comments); }))
            return;
        awaitingComments_ = true;
        transferMode_ = TransferMode::comments;
        clipboardReady_ = true;
        emit changed();
        // Only into the window the images went to, and only while it is still in front.
        if (frontmost) {
            const auto now = frontmostWindow ? frontmostWindow() : std::nullopt;
            if (now && now->window == *frontmost && pastePermission() && postPaste(*frontmost)) {
                scheduleRelease(revision);
                return;
            }
        }
        setStatus(keys("Снимки вставлены. Нажмите ⌘V ещё раз для текста"));
        return;
    }
    if (autoClear_)
        clear(true);
}

void AppModel::scheduleRelease(int revision)
{
    pastePending_ = true;
    transferInProgress_ = true;
    const std::optional<std::uint64_t> changeCount = clipboard_.changeCount();
    emit changed();
    after(releaseDelayMs, [self = QPointer<AppModel>(this), revision, changeCount] {
        if (!self)
            return;
        AppModel& model = *self;
        model.pastePending_ = false;
        model.transferInProgress_ = false;
        emit model.changed();
        if (!model.stillCurrent(revision, changeCount) || model.busy_ || model.clipboard_.mode() != TransferMode::comments)
            return;
        if (model.autoClear_) {
            model.clear(true);
            return;
        }
        model.status_ = QStringLiteral("Снимки и комментарии переданы");
        model.awaitingComments_ = false;
        emit model.changed();
    });
}

void AppModel::pasteAll(const platform::ActiveWindow& target)
{
    if (busy_ || transferInProgress_ || pastePending_ || shots_.isEmpty())
        return;
    if (!pastePermission()) {
        // Nothing to ask for on X11: the status names what is missing.
        automaticPasteAllowed_ = pastePermission();
        status_ = xtestMissing;
        emit changed();
        return;
    }
    prepareClipboard(TransferMode::chat);
    if (!clipboard_.isCurrent())
        return; // the preparation failed and said so

    transferInProgress_ = true;
    emit changed();
    activateWindow(target.window);
    const int revision = revision_;
    const std::optional<std::uint64_t> changeCount = clipboard_.changeCount();
    after(automaticPasteDelayMs, [self = QPointer<AppModel>(this), revision, changeCount, window = target.window] {
        if (self)
            self->automaticPasteStep(revision, changeCount, window);
    });
}

void AppModel::automaticPasteStep(int revision, std::optional<std::uint64_t> changeCount, quint32 target)
{
    transferInProgress_ = false;
    emit changed();
    if (stillCurrent(revision, changeCount) && !busy_ && postPaste(target)) {
        handlePaste();
        return;
    }
    setStatus(QStringLiteral("Вставка отменена. Выберите поле сообщения и повторите"));
}

} // namespace tarnwick
