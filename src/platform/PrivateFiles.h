#pragma once

#include <QByteArray>
#include <QString>

namespace tarnwick::platform {

// Temporary files live in a folder only this user can enter:
// $XDG_RUNTIME_DIR/tarnwick when that is set, /tmp/tarnwick-<uid> otherwise.
// It is created with mode 0700; a symlink, or a folder that belongs to another
// user, is refused with a TarnwickError rather than used.
QString privateTempRoot();

// The same kind of private folder on disk for files that can grow without
// bound (recordings in progress) or must outlive the run (prepared series):
// $XDG_CACHE_HOME/tarnwick, else ~/.cache/tarnwick.
QString privateCacheRoot();
// Where privateCacheRoot() is, without making or checking it.
QString privateCacheRootPath();

// Creates `path` and any missing folders between it and `root`, a private root,
// with mode 0700. Every component from the root down, old or new, must be a real
// folder of this user (never a symlink); one left too open is closed to 0700.
// Throws TarnwickError, also for a path with ".." in it or outside `root`.
void createPrivateDirectory(const QString& root, const QString& path);

// Removes a file or a folder with everything in it; a symlink, at the top or
// anywhere inside, is removed itself and never followed. Failures are ignored.
void removePrivateTree(const QString& path);

// Writes `data` to `path` with mode 0600 through a temporary file renamed over
// the target, so a reader sees either the old file or the complete new one and
// a failure (a full disk, a vanished folder) leaves no partial file. Throws
// TarnwickError.
void writeFileAtomically(const QString& path, const QByteArray& data);

// Creates a new empty file with mode 0600 in `directory`, named `prefix`, a
// random part and `suffix`, and returns its path. Throws TarnwickError.
QString createPrivateFile(const QString& directory, const QString& prefix, const QString& suffix = {});

// Gives a finished file the user saved (made private while it was being worked
// on) the mode a new file of theirs gets: 0666 less the process's umask.
// Returns false when the mode could not be changed, or `path` is a symlink.
bool giveToUser(const QString& path);

} // namespace tarnwick::platform
