#include "app/SessionFiles.h"

#include "platform/TarnwickError.h"
#include "recording/RecorderSession.h"
#include "recording/RecordingRecovery.h"

#include <QDir>
#include <QFile>
#include <QUuid>

namespace tarnwick {
namespace {

const QString capturePrefix = QStringLiteral("Tarnwick-capture-");

} // namespace

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

void recoverCrashedRuns(const QSettings* preferences, std::function<void(const QString&)> report)
{
    // Nearly every start finds nothing: the recording module is loaded only for a real find.
    if (!recording::hasWorkingFolders(recording::workingRoots()))
        return;
    try {
        recording::recorderModule().recoverInBackground(preferences, std::move(report));
    } catch (const TarnwickError& error) {
        report(error.errorDescription());
    }
}

} // namespace tarnwick
