#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <optional>

namespace tarnwick::platform {

// The user's preferences: QSettings over the same file and the same INI text as before
// (~/.config/Tarnwick/Tarnwick.conf). QSettings holds the values in memory and never opens
// the file itself: it is read through the checked open (at the start, and again before each
// write, whose changes go over what the file holds then) and written through
// writeFileAtomically. A write that fails (a full or read-only disk) leaves the file as it
// was, whole, and says why; what was set stays in memory for the run and is written again
// with the next change. A file that is no regular file (a pipe, a device, a link to one, a
// folder) or cannot be read is refused at once and never written over: the run goes on
// with the defaults and what it sets, in memory. GUI thread; one per file in the program.
class PreferencesFile : public QSettings {
    Q_OBJECT
public:
    // The file of QCoreApplication's organisation and application, as QSettings() finds it
    // first (the system's fallbacks are not read).
    explicit PreferencesFile(QObject* parent = nullptr);
    explicit PreferencesFile(const QString& path, QObject* parent = nullptr);
    ~PreferencesFile() override;

    // Writes what changed now; false when the write failed or the file was refused.
    bool save();
    // Why the file was not read at the start, for the status line: «Не удалось прочитать файл
    // «Tarnwick.conf»: это не файл. …»; empty when it was read or is not there yet.
    QString refusal() const { return refusal_; }
    // The file itself (QSettings' own fileName() is the name of its copy in memory).
    QString fileName() const { return path_; }

    // The INI text QSettings' own INI format writes for `values`, keys in order.
    static QByteArray iniText(const QSettings::SettingsMap& values);

signals:
    // A write failed where the one before it had not: «Не удалось сохранить настройки: reason.»,
    // or the file found no regular file it can read: «Не удалось прочитать файл «name»: reason.
    // Настройки не сохранены.».
    void writeFailed(const QString& sentence);

protected:
    bool event(QEvent* event) override;

private:
    struct Checked {
        QString path;
        QString refusal;
        QSettings::SettingsMap values;
    };
    static Checked checked(const QString& path);
    PreferencesFile(Checked file, QObject* parent);
    // Writes what was set or removed since the file was last read or written over what it
    // holds now; the sentence for the status line when it could not.
    std::optional<QString> writeChanges();

    QString path_;
    QString refusal_;
    // The file's keys as last read or written: what differs from them was changed in this run.
    QSettings::SettingsMap base_;
    bool failing_ = false;
};

} // namespace tarnwick::platform
