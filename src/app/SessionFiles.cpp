#include "app/SessionFiles.h"

#include "recording/RecordingRecovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QUuid>
#include <memory>
#include <unistd.h>

namespace tarnwick {
namespace {

const QString capturePrefix = QStringLiteral("Tarnwick-capture-");

} // namespace

QStringList sessionEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

void removeSessionEntries(const QString& folder, const QStringList& keep)
{
    const QDir dir(folder);
    for (const QString& name : sessionEntries(folder)) {
        if (keep.contains(name))
            continue;
        const QFileInfo entry(dir.filePath(name));
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}

QString newCaptureFile(const QString& temporaryRoot)
{
    return QDir(temporaryRoot).filePath(capturePrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                                        + QStringLiteral(".png"));
}

void removeCaptureFiles(const QString& temporaryRoot)
{
    const QDir dir(temporaryRoot);
    // The picker's own half-written files carry the name as a prefix too.
    for (const QString& name : dir.entryList({capturePrefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(dir.filePath(name));
}

void recoverCrashedRuns(const QString& temporaryRoot, const QString& clipboardFolder, const QSettings* preferences,
                        std::function<void(const QString&)> report)
{
    const QDir root(temporaryRoot);
    for (const QString& name : root.entryList({QStringLiteral("run-*.lock")}, QDir::Files | QDir::Hidden)) {
        const QString path = root.filePath(name);
        const QDateTime started = QFileInfo(path).lastModified();
        QLockFile mark(path);
        if (!mark.tryLock(0))
            continue; // a live run's, on another display
        const QDir clipboard(clipboardFolder);
        for (const QFileInfo& entry : clipboard.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (entry.lastModified() < started)
                continue; // an earlier run's, which a clipboard manager may still point at
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
    }
    // Released (and removed) when the process ends normally; a crash leaves it behind.
    static std::unique_ptr<QLockFile> ours;
    ours = std::make_unique<QLockFile>(root.filePath(QStringLiteral("run-%1.lock").arg(::getpid())));
    ours->tryLock(0);
    recording::recoverRecordingsInBackground(preferences, std::move(report));
}

} // namespace tarnwick
