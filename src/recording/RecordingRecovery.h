#pragma once

#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <functional>

class QSettings;

namespace tarnwick::recording {

// The name of a recording's working folder under a private root, and the lock a
// live session holds in it, so another instance's recovery leaves it alone.
inline const QString workingFolderPrefix = QStringLiteral("Tarnwick-video-");
inline const QString workingFolderLock = QStringLiteral("session.lock");
// Left in a working folder whose recording could not be recovered, once the user was told:
// later starts leave it alone.
inline const QString unrecoverableMark = QStringLiteral("unrecoverable");

// The private roots working folders live under; a root refused is left out (it is
// reported where it is used). Inline: the shell looks here before it loads this module.
inline QStringList workingRoots()
{
    QStringList roots;
    for (const auto& root : {&platform::privateCacheRoot, &platform::privateTempRoot}) {
        try {
            roots << root();
        } catch (const TarnwickError&) {
        }
    }
    return roots;
}

// Whether any of `roots` holds a working folder, live or left by a crash, that no start has
// given up on yet.
inline bool hasWorkingFolders(const QStringList& roots)
{
    for (const QString& root : roots) {
        const QDir dir(root);
        for (const QString& name : dir.entryList({workingFolderPrefix + u'*'}, QDir::Dirs))
            if (const QFileInfo mark(dir.filePath(name + u'/' + unrecoverableMark)); !mark.exists() && !mark.isSymLink())
                return true;
    }
    return false;
}

// Where recordings are saved: the folder chosen last, else ~/Videos, else home.
QString recordingSaveFolder(const QSettings* preferences);

// Moves `file` into `folder` as `name` (with " 2", " 3"… before the extension when
// taken), copying across file systems. The new path, or empty when it failed or
// `file` is not a regular file (a link is never moved).
QString moveRecordingTo(const QString& file, const QString& folder, const QString& name);

// Recordings that a crash left in working folders under `roots`: each one that
// decodes is finalized (the index first, when the disk has room), moved to
// `saveFolder` as "Tarnwick <date> (восстановлено).mp4" and its folder removed.
// A folder with nothing recorded is removed; one whose recording cannot be read
// (a damaged header, no whole frame, not a file of ours) is left where it is and
// named once. Links in a working folder are never followed. Blocks. Returns the
// sentence for the status line, empty when there is nothing to say.
QString recoverRecordings(const QStringList& roots, const QString& saveFolder);

// The start-up hook: recovers under the private roots on a worker thread and
// passes a non-empty sentence to `report` on the GUI thread.
void recoverRecordingsInBackground(const QSettings* preferences, std::function<void(const QString&)> report);

} // namespace tarnwick::recording
