#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <functional>

namespace tarnwick {

// Starts the picker program for the shell. With `standby`, one picker is kept
// started ahead, loaded and connected but waiting on its standard input, so a
// hot key costs only the grab and the veils; the next one starts once the
// running one has finished, so two pickers never compete for the processor.
// GUI thread; the shell owns it.
class PickerLauncher : public QObject {
    Q_OBJECT
public:
    PickerLauncher(QString program, bool standby, QObject* parent = nullptr);
    ~PickerLauncher() override;

    // Starts a picker for `arguments` and answers it, owned by the caller: the
    // one waiting ahead when it is still alive, a new process otherwise.
    // `watch` connects to its signals before anything can be emitted.
    QProcess* start(const QStringList& arguments, const std::function<void(QProcess*)>& watch);
    // Starts the picker that waits ahead, if standby is on and none waits.
    void prepare();

    const QString& program() const { return program_; }

private:
    QProcess* newProcess();
    QString program_;
    bool standby_;
    QPointer<QProcess> waiting_;
};

} // namespace tarnwick
