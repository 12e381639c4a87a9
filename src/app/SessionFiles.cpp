#include "app/SessionFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

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

} // namespace tarnwick
