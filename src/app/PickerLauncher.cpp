#include "app/PickerLauncher.h"

#include "capture/Picker.h"

#include <QTimer>

namespace tarnwick {

PickerLauncher::PickerLauncher(QString program, bool standby, QObject* parent)
    : QObject(parent), program_(std::move(program)), standby_(standby)
{
}

PickerLauncher::~PickerLauncher()
{
    // End of input lets the waiting picker leave on its own.
    if (waiting_) {
        waiting_->closeWriteChannel();
        if (!waiting_->waitForFinished(1000))
            waiting_->kill();
        waiting_->waitForFinished(1000);
    }
}

QProcess* PickerLauncher::newProcess()
{
    auto* process = new QProcess(this);
    process->setProgram(program_);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    return process;
}

void PickerLauncher::prepare()
{
    if (!standby_ || waiting_)
        return;
    QProcess* process = newProcess();
    process->setArguments({QString::fromLatin1(capture::standbyArgument)});
    // One that cannot start or dies while waiting is dropped; the key then starts its own.
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    waiting_ = process;
    process->start();
}

QProcess* PickerLauncher::start(const QStringList& arguments, const std::function<void(QProcess*)>& watch)
{
    QProcess* process = waiting_;
    waiting_ = nullptr;
    if (process && process->state() != QProcess::NotRunning) {
        process->disconnect(process);
        watch(process);
        QByteArray line;
        for (const QString& a : arguments)
            line += a.toLocal8Bit() + '\0';
        line += '\0';
        process->write(line);
    } else {
        delete process;
        process = newProcess();
        process->setArguments(arguments);
        watch(process);
        process->start();
    }
    if (standby_) {
        // The next one waits once this one is done, so it never slows the grab.
        connect(process, &QProcess::finished, this, [this] { QTimer::singleShot(0, this, &PickerLauncher::prepare); });
    }
    return process;
}

} // namespace tarnwick
