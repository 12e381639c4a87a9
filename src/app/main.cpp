#include "app/AppShell.h"
#include "app/QuitGuard.h"
#include "app/SingleInstance.h"
#include "panels/ProgramLook.h"
#include "platform/AllocatorLimits.h"
#include "platform/PreferencesFile.h"
#include "platform/PrivateFiles.h"
#include "platform/QtClipboardBackend.h"
#include "platform/TarnwickError.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

int main(int argc, char** argv)
{
    tarnwick::platform::limitAllocatorGrowth();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    const QString translationMissing = tarnwick::installProgramLook(app);

    QStringList arguments = app.arguments().mid(1);
    // The running instance has another working folder: hand it an absolute path.
    if (const qsizetype open = arguments.indexOf(QStringLiteral("--open-image")); open >= 0 && open + 1 < arguments.size())
        arguments[open + 1] = QFileInfo(arguments[open + 1]).absoluteFilePath();

    QString temporaryRoot;
    try {
        temporaryRoot = tarnwick::platform::privateTempRoot();
    } catch (const tarnwick::TarnwickError& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Tarnwick"), error.errorDescription());
        return 1;
    }
    // A later start only hands its arguments over, waiting for a busy instance to answer; it has
    // nothing to clean up, so a signal ends that wait at once.
    tarnwick::SingleInstance instance(tarnwick::SingleInstance::socketPath(temporaryRoot));
    if (instance.handOver(arguments))
        return 0;
    // Signals are caught before the instance is announced: a logout while the shell is still being
    // built ends the run as cleanly as one later on (the loop ends at its first turn).
    tarnwick::AppShell* running = nullptr;
    tarnwick::QuitGuard guard([&running] { return !running || running->shouldQuit(); });
    instance.listen();

    // Read and written through the checked path: a pipe in its place is refused at once, and a
    // full disk keeps the old file whole; both are said.
    tarnwick::platform::PreferencesFile preferences;
    tarnwick::platform::QtClipboardBackend clipboard;
    tarnwick::AppShell shell(preferences, clipboard, temporaryRoot);
    running = &shell;
    QObject::connect(&preferences, &tarnwick::platform::PreferencesFile::writeFailed, &shell,
                     [&shell](const QString& sentence) { shell.model().setStatus(sentence); });
    QObject::connect(&instance, &tarnwick::SingleInstance::argumentsReceived, &shell, &tarnwick::AppShell::handleArguments);
    shell.start(arguments);
    if (!translationMissing.isEmpty())
        shell.model().setStatus(translationMissing);
    if (!preferences.refusal().isEmpty())
        shell.model().setStatus(preferences.refusal());
    const int code = app.exec();
    shell.terminate(guard.endedBySignal() ? tarnwick::AppShell::Ending::signal : tarnwick::AppShell::Ending::quit);
    return code;
}
