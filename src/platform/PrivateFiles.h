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
// bound (recordings in progress): $XDG_CACHE_HOME/tarnwick, else ~/.cache/tarnwick.
QString privateCacheRoot();

// Creates `path` and any missing parents below it with mode 0700. Throws
// TarnwickError, also for a path with ".." in it.
void createPrivateDirectory(const QString& path);

// Writes `data` to `path` with mode 0600 through a temporary file renamed over
// the target, so a reader sees either the old file or the complete new one and
// a failure (a full disk, a vanished folder) leaves no partial file. Throws
// TarnwickError.
void writeFileAtomically(const QString& path, const QByteArray& data);

// Creates a new empty file with mode 0600 in `directory`, named `prefix`, a
// random part and `suffix`, and returns its path. Throws TarnwickError.
QString createPrivateFile(const QString& directory, const QString& prefix, const QString& suffix = {});

} // namespace tarnwick::platform
