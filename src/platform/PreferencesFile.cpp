#include "platform/PreferencesFile.h"

#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <mutex>
#include <optional>

namespace tarnwick::platform {

namespace {

// What the format's write function did during one sync of this thread's PreferencesFile.
struct WriteOutcome {
    bool attempted = false;
    std::optional<FileError> failure;
};
thread_local WriteOutcome* currentWrite = nullptr;
// Files whose text could not be read: never written over.
std::mutex unreadableLock;
QSet<QString> unreadable;

// Qt's own INI parser reads the file, through the descriptor Qt opened it with: the text
// of earlier versions and of hand edits reads as it always did. (By the file's own name it
// would meet this very file's state, locked while Qt reads.)
bool readIni(QIODevice& device, QSettings::SettingsMap& values)
{
    const auto* file = qobject_cast<QFileDevice*>(&device);
    const QSettings ini(QStringLiteral("/proc/self/fd/%1").arg(file ? file->handle() : -1), QSettings::IniFormat);
    if (!file || ini.status() == QSettings::AccessError) {
        // Written now, the values that were not read would be lost with the file.
        const std::lock_guard guard(unreadableLock);
        unreadable.insert(file ? file->fileName() : QString());
        return false;
    }
    for (const QString& key : ini.allKeys())
        values.insert(key, ini.value(key));
    return true;
}

// Qt hands a buffered QSaveFile of its own, which in Qt 6.4 can report success for a short
// file. The text goes through the checked path instead, and Qt's copy is never committed:
// false tells Qt to drop it (and keep the values as changes still to write).
bool writeIni(QIODevice& device, const QSettings::SettingsMap& values)
{
    const auto* target = qobject_cast<QFileDevice*>(&device);
    if (!target || !currentWrite)
        return false;
    currentWrite->attempted = true;
    // A preferences file kept elsewhere through a link (with the user's other dotfiles) is
    // written where the link leads, as Qt's own write does, and the link stays.
    const QFileInfo file(target->fileName());
    const QString path = file.isSymLink() && !file.canonicalFilePath().isEmpty() ? file.canonicalFilePath() : file.filePath();
    try {
        if (const std::lock_guard guard(unreadableLock); unreadable.contains(target->fileName()))
            throw FileError(QStringLiteral("Файл настроек не прочитан."), EIO);
        writeFileAtomically(path, PreferencesFile::iniText(values), FileAccess::user);
    } catch (const FileError& error) {
        currentWrite->failure = error;
    }
    return false;
}

QSettings::Format checkedFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(QStringLiteral("conf"), &readIni, &writeIni);
    return format;
}

} // namespace

PreferencesFile::PreferencesFile(QObject* parent)
    : QSettings(checkedFormat(), QSettings::UserScope, QCoreApplication::organizationName(),
                QCoreApplication::applicationName(), parent)
{
}

PreferencesFile::PreferencesFile(const QString& path, QObject* parent) : QSettings(path, checkedFormat(), parent) {}

PreferencesFile::~PreferencesFile()
{
    save();
}

bool PreferencesFile::save()
{
    WriteOutcome outcome;
    currentWrite = &outcome;
    QSettings::sync();
    currentWrite = nullptr;
    return !outcome.failure;
}

bool PreferencesFile::event(QEvent* event)
{
    if (event->type() != QEvent::UpdateRequest)
        return QSettings::event(event);
    // Qt writes the changes of a turn of the event loop here, at once.
    WriteOutcome outcome;
    currentWrite = &outcome;
    const bool handled = QSettings::event(event);
    currentWrite = nullptr;
    std::optional<int> error;
    if (outcome.failure)
        error = outcome.failure->code();
    else if (!outcome.attempted) // Qt could not even lock or open its file beside ours
        error = writeProblem(QFileInfo(fileName()).path());
    if (error && !failing_)
        emit writeFailed(QStringLiteral("Не удалось сохранить настройки: %1.").arg(fileErrorReason(*error)));
    failing_ = error.has_value();
    return handled;
}

} // namespace tarnwick::platform
