#include "platform/PreferencesFile.h"

#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace tarnwick::platform {

namespace {

using Values = QSettings::SettingsMap;

// A name below a device, where nothing can be read, made or locked: QSettings keeps the values
// in memory and never opens a file of its own (it would open a pipe and wait for its writer).
// One per object, so that two never share Qt's copy of a file.
QString inertName()
{
    return QStringLiteral("/dev/null/%1/Tarnwick.conf").arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

// The file's keys as Qt's own INI format reads them (the text of earlier versions and of hand
// edits reads as it always did), through the checked open; none when there is no file yet.
// Throws FileError when something is there that is no regular file this user can read.
Values readValues(const QString& path)
{
    try {
        const CheckedFile file(path);
        const QSettings ini(file.name(), QSettings::IniFormat);
        if (ini.status() == QSettings::AccessError)
            throw FileError(QStringLiteral("Не удалось прочитать файл «%1»: ошибка ввода-вывода.").arg(QFileInfo(path).fileName()), EIO);
        Values values;
        for (const QString& key : ini.allKeys())
            values.insert(key, ini.value(key));
        return values;
    } catch (const FileError& error) {
        if (error.code() == ENOENT)
            return {};
        throw;
    }
}

// Whether `key` was set or removed in this run since `base` was read or written.
bool changedSince(const Values& base, const Values& mine, const QString& key)
{
    return base.contains(key) != mine.contains(key) || base.value(key) != mine.value(key);
}

} // namespace

PreferencesFile::Checked PreferencesFile::checked(const QString& path)
{
    Checked file{path, {}, {}};
    try {
        file.values = readValues(path);
    } catch (const FileError& error) {
        file.refusal = error.errorDescription() + QStringLiteral(" Действуют настройки по умолчанию, этот файл не изменится.");
    }
    return file;
}

PreferencesFile::PreferencesFile(QObject* parent)
    : PreferencesFile(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/'
                          + QCoreApplication::organizationName() + u'/' + QCoreApplication::applicationName()
                          + QStringLiteral(".conf"),
                      parent)
{
}

PreferencesFile::PreferencesFile(const QString& path, QObject* parent) : PreferencesFile(checked(path), parent) {}

PreferencesFile::PreferencesFile(Checked file, QObject* parent)
    : QSettings(inertName(), QSettings::IniFormat, parent), path_(file.path), refusal_(file.refusal),
      base_(file.values)
{
    for (auto it = base_.cbegin(); it != base_.cend(); ++it)
        QSettings::setValue(it.key(), it.value());
}

PreferencesFile::~PreferencesFile()
{
    save();
}

bool PreferencesFile::save()
{
    const std::optional<QString> failure = writeChanges();
    QSettings::sync();
    return !failure && refusal_.isEmpty();
}

std::optional<QString> PreferencesFile::writeChanges()
{
    if (!refusal_.isEmpty())
        return std::nullopt; // what could not be read at the start is never written over
    Values mine;
    for (const QString& key : allKeys())
        mine.insert(key, value(key));
    QSet<QString> keys(mine.keyBegin(), mine.keyEnd());
    keys.unite(QSet<QString>(base_.keyBegin(), base_.keyEnd()));
    if (std::none_of(keys.cbegin(), keys.cend(), [&](const QString& key) { return changedSince(base_, mine, key); }))
        return std::nullopt;
    Values onDisk;
    try {
        // Read again: what was written meanwhile by hand is kept, as Qt's own sync keeps it.
        onDisk = readValues(path_);
    } catch (const FileError& error) {
        return error.errorDescription() + QStringLiteral(" Настройки не сохранены.");
    }
    try {
        Values merged = onDisk;
        for (const QString& key : std::as_const(keys)) {
            if (!changedSince(base_, mine, key))
                continue;
            if (mine.contains(key))
                merged.insert(key, mine.value(key));
            else
                merged.remove(key);
        }
        // A preferences file kept elsewhere through a link (with the user's other dotfiles) is
        // written where the link leads, and the link stays.
        const QFileInfo file(path_);
        const QString target = file.isSymLink() && !file.canonicalFilePath().isEmpty() ? file.canonicalFilePath() : path_;
        QDir().mkpath(QFileInfo(target).path());
        writeFileAtomically(target, iniText(merged), FileAccess::user);
        keys.unite(QSet<QString>(onDisk.keyBegin(), onDisk.keyEnd()));
        for (const QString& key : std::as_const(keys)) {
            if (changedSince(base_, mine, key) || !changedSince(mine, merged, key))
                continue;
            if (merged.contains(key))
                QSettings::setValue(key, merged.value(key));
            else
                QSettings::remove(key);
        }
        base_ = merged;
    } catch (const FileError& error) {
        return QStringLiteral("Не удалось сохранить настройки: %1.").arg(fileErrorReason(error.code()));
    }
    return std::nullopt;
}

bool PreferencesFile::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest) {
        // The changes of a turn of the event loop, written at once.
        const std::optional<QString> failure = writeChanges();
        if (failure && !failing_)
            emit writeFailed(*failure);
        failing_ = failure.has_value();
    }
    // Qt's own sync, of its in-memory name: it only clears its mark of pending changes.
    return QSettings::event(event);
}

} // namespace tarnwick::platform
