#include "series/AppModel.h"

#include "platform/KeyNames.h"
#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace tarnwick {
namespace {

QString keys(const char* text) { return platform::keyText(QString::fromUtf8(text)); }

// What the X server lacks, in place of the system settings panes the texts name elsewhere.
const QString recordMissing = QStringLiteral("Включите расширение RECORD на X-сервере");

} // namespace

QString AppModel::xtestMissing() { return QStringLiteral("Включите расширение XTEST на X-сервере"); }

AppModel::AppModel(ClipboardBridge& clipboard, QSettings& preferences, QObject* parent)
    : QObject(parent), clipboard_(clipboard), preferences_(preferences), status_(keys("Снимок → разметка → ⌘V"))
{
    // The model is the timers' context: a step still pending dies with it.
    handOff_.after = [this](int ms, std::function<void()> step) { QTimer::singleShot(ms, this, std::move(step)); };
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &AppModel::refresh);
    timer_.start();
}

template <typename T>
void AppModel::assign(T& field, const T& value)
{
    if (put(field, value))
        emit changed();
}

void AppModel::setStatus(const QString& status) { assign(status_, status); }

void AppModel::setStatus(const QString& status, bool othersChanged)
{
    if (put(status_, status) || othersChanged)
        emit changed();
}
void AppModel::setBusy(bool busy) { assign(busy_, busy); }
void AppModel::setScreenPermissionRequired(bool required) { assign(screenPermissionRequired_, required); }
void AppModel::setConfirmClear(bool on) { assign(confirmClear_, on); }

void AppModel::setAutoClear(bool on)
{
    const bool differs = on != preferences_.autoClear();
    preferences_.setAutoClear(on);
    if (differs)
        emit changed();
}

void AppModel::setShowsTaskbarIcon(bool on)
{
    const bool differs = on != preferences_.showsTaskbarIcon();
    preferences_.setShowsTaskbarIcon(on);
    if (!differs)
        return;
    emit changed();
    if (taskbarVisibilityChanged)
        taskbarVisibilityChanged(on);
}

void AppModel::setColorCodeFormat(ColorCodeFormat format) { preferences_.setColorCodeFormat(format); }

void AppModel::setEditorVerticalToolbar(bool vertical) { preferences_.setEditorVerticalToolbar(vertical); }

bool AppModel::save(Screenshot shot, const QVector<Annotation>& annotations, bool prepareForPaste)
{
    shot.annotations = annotations;
    auto existing = std::find_if(shots_.begin(), shots_.end(), [&](const Screenshot& s) { return s.id == shot.id; });
    if (existing != shots_.end()) {
        *existing = std::move(shot);
    } else {
        // A 27th shot would be labelled "?" like any further one, and their files would collide.
        if (shots_.size() >= maximumShots) {
            if (beep)
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
    const bool moved = put(awaitingComments_, false) | put(transferMode_, mode) | put(clipboardReady_, true);
    QString status;
    switch (mode) {
    case TransferMode::chat: status = QStringLiteral("Сначала снимки, затем отдельный текст"); break;
    case TransferMode::combined: status = keys("Серия готова — вставьте через ⌘V"); break;
    case TransferMode::images:
    case TransferMode::comments: status = QStringLiteral("В буфере: ") + title(mode).toLower(); break;
    }
    setStatus(status, moved);
}

void AppModel::deleteShot(const QUuid& id)
{
    shots_.removeIf([&](const Screenshot& s) { return s.id == id; });
    ++revision_;
    if (shots_.isEmpty()) {
        clipboardReady_ = false;
        setStatus(QStringLiteral("Серия пуста"), true);
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
    setStatus(afterPaste ? QStringLiteral("Серия передана. Начните новую с A") : QStringLiteral("Новая серия начинается с A"), true);
}

void AppModel::repeatLastTransfer()
{
    if (const auto& packet = clipboard_.packet(); packet && !reported([&] { clipboard_.publish(*packet, TransferMode::chat); }))
        return;
    const bool moved = put(awaitingComments_, false) | put(transferMode_, TransferMode::chat);
    setStatus(QStringLiteral("Последняя серия снова готова к вставке"), moved);
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
    const bool moved = put(awaitingComments_, true) | put(transferMode_, TransferMode::comments) | put(clipboardReady_, true);
    setStatus(keys("Комментарии в буфере — вставьте через ⌘V"), moved);
}

bool AppModel::copyRecognizedText(const QString& text, bool allowWhitespace)
{
    if (!clipboard_.copyText(text, allowWhitespace))
        return false;
    ++revision_;
    awaitingComments_ = false;
    clipboardReady_ = false;
    setStatus(keys("Текст скопирован — ⌘V"), true);
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
    setStatus(keys("Снимок без маркировки скопирован — ⌘V"), true);
    return path;
}

void AppModel::setImageSaveDirectory(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isDir())
        throw TarnwickError::message(QStringLiteral("Выберите доступную папку для сохранения снимков."));
    const QString standardized = QDir::cleanPath(info.absoluteFilePath());
    const bool differs = preferences_.imageSaveDirectory() != standardized;
    preferences_.setImageSaveDirectory(standardized);
    if (differs)
        emit changed();
}

QString AppModel::saveUnmarkedImage(const Screenshot& shot)
{
    const std::optional<QString>& directory = preferences_.imageSaveDirectory();
    if (!directory)
        throw TarnwickError::message(QStringLiteral("Выберите папку сохранения снимков."));
    const QFileInfo folder(*directory);
    if (!folder.exists() || !folder.isDir())
        throw TarnwickError::message(QStringLiteral("Папка сохранения недоступна. Выберите другую папку в меню рядом с дискетой."));
    const QByteArray png = clipboard_.unmarkedPng(shot);
    const QString name = QStringLiteral("Tarnwick ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"))
                       + u' ' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8) + QStringLiteral(".png");
    const QString path = QDir(*directory).filePath(name);
    // The user's own folder: ordinary permissions, but never a half-written file.
    try {
        platform::writeFileAtomically(path, png, platform::FileAccess::user);
    } catch (const platform::FileError& error) {
        // Without the long generated name, so the reason fits the panel's status line.
        throw TarnwickError::message(QStringLiteral("Не удалось сохранить снимок: %1.").arg(platform::fileErrorReason(error.code())));
    }
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
    const bool moved = put(clipboardReady_, ready) | put(monitoring_, watching ? watching() : false)
                     | put(automaticPasteAllowed_, handOff_.permitted());
    if (moved)
        emit changed();
}

void AppModel::enableMonitoring()
{
    assign(monitoring_, startWatching ? startWatching() : false);
    if (monitoring_)
        return;
    const QString problem = connectionProblem ? connectionProblem() : QString();
    setStatus(problem.isEmpty() ? recordMissing : problem);
}

void AppModel::allowAutomaticPaste()
{
    assign(automaticPasteAllowed_, handOff_.permitted());
    if (!automaticPasteAllowed_)
        setStatus(xtestMissing());
}

} // namespace tarnwick
