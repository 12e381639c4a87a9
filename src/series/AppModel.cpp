#include "series/AppModel.h"

#include "platform/KeyNames.h"
#include "series/TarnwickError.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QUuid>

namespace tarnwick {
namespace {

const QString keyAutoClear = QStringLiteral("autoClear");
const QString keyShowsDockIcon = QStringLiteral("showsDockIcon");
const QString keyImageSaveDirectory = QStringLiteral("imageSaveDirectory");
const QString keyColorCodeFormat = QStringLiteral("colorCodeFormat");

QString keys(const char* text) { return platform::keyText(QString::fromUtf8(text)); }

} // namespace

AppModel::AppModel(ClipboardBridge& clipboard, QSettings& preferences, QObject* parent)
    : QObject(parent), clipboard_(clipboard), preferences_(preferences), status_(keys("Снимок → разметка → ⌘V"))
{
    alert = [](const QString& sentence) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick"));
        box.setInformativeText(sentence);
        box.exec();
    };
    beep = [] { QApplication::beep(); };
    readPreferences();
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
    try {
        clipboard_.prepare(shots_, mode);
    } catch (const std::exception& error) {
        showError(error);
        return;
    }
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
    if (const auto& packet = clipboard_.packet()) {
        try {
            clipboard_.publish(*packet, TransferMode::chat);
        } catch (const std::exception& error) {
            showError(error);
            return;
        }
    }
    awaitingComments_ = false;
    transferMode_ = TransferMode::chat;
    status_ = QStringLiteral("Последняя серия снова готова к вставке");
    emit changed();
}

void AppModel::copyComments()
{
    try {
        if (!shots_.isEmpty() && !awaitingComments_)
            clipboard_.prepare(shots_, TransferMode::comments);
        else if (const auto& packet = clipboard_.packet())
            clipboard_.publish(*packet, TransferMode::comments);
    } catch (const std::exception& error) {
        showError(error);
        return;
    }
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
    const bool permission = pastePermission ? pastePermission() : false;
    if (ready == clipboardReady_ && permission == automaticPasteAllowed_)
        return;
    clipboardReady_ = ready;
    automaticPasteAllowed_ = permission;
    emit changed();
}

} // namespace tarnwick
