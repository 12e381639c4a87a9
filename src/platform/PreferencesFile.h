#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

namespace tarnwick::platform {

// The user's preferences: QSettings over the same file and the same INI text as before
// (~/.config/Tarnwick/Tarnwick.conf), whose every write goes through writeFileAtomically
// instead of Qt's own: a write that fails (a full or read-only disk) leaves the file as it
// was, whole, and says why. What was set stays in memory for the run and is written again
// with the next change. GUI thread; one per file in the program.
class PreferencesFile : public QSettings {
    Q_OBJECT
public:
    // The file of QCoreApplication's organisation and application, as QSettings() finds it.
    explicit PreferencesFile(QObject* parent = nullptr);
    explicit PreferencesFile(const QString& path, QObject* parent = nullptr);
    ~PreferencesFile() override;

    // Writes what changed now; false when the write failed.
    bool save();

    // The INI text QSettings' own INI format writes for `values`, keys in order.
    static QByteArray iniText(const QSettings::SettingsMap& values);

signals:
    // A write failed where the one before it had not: «Не удалось сохранить настройки: reason.».
    void writeFailed(const QString& sentence);

protected:
    bool event(QEvent* event) override;

private:
    bool failing_ = false;
};

} // namespace tarnwick::platform
