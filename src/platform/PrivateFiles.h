#pragma once

#include "platform/TarnwickError.h"

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

// Who may read a file once written: only this user (working files), or whoever
// the process's umask lets read a new file of the user's (files saved for them).
enum class FileAccess { owner, user };

// A failed file operation: its sentence, and the errno value for a caller that
// words the sentence its own way (see fileErrorReason).
class FileError : public TarnwickError {
public:
    FileError(const QString& sentence, int code) : TarnwickError(sentence), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

// Every file the program writes goes through here. `data` goes to a temporary
// file beside `path`, every write checked, synced, closed and renamed over the
// target, so a reader sees either the old file or the complete new one. A
// failure (a full disk, a read-only disk, a vanished folder) leaves no partial
// file and throws FileError «Не удалось записать файл «name»: reason.».
void writeFileAtomically(const QString& path, const QByteArray& data, FileAccess access = FileAccess::owner);

// The same for a copy of the file `source`, read in pieces, for files too big
// to hold in memory. A source that cannot be read throws its own sentence.
void copyFileAtomically(const QString& source, const QString& path, FileAccess access = FileAccess::owner);

// Whether a link in a file's place is followed to its target or refused like a pipe.
enum class Links { followed, refused };

// Opens a file for reading and returns its descriptor (the caller closes it): every file
// the program reads goes through here. Anything but a regular file (a folder, a named pipe,
// a device, a socket) is refused at once, without opening it or waiting for a writer or a
// device: FileError «Не удалось прочитать файл «name»: reason.», EISDIR for a folder,
// EINVAL for the rest (and for a link, when links are refused).
int openForReading(const QString& path, Links links = Links::followed);

// A file opened through openForReading for a library that opens files by name (FFmpeg,
// QSettings, the font database): name() is the descriptor's own name in /proc, which opens
// this very file whatever is put at its path meanwhile. Throws as openForReading does.
class CheckedFile {
public:
    explicit CheckedFile(const QString& path, Links links = Links::followed);
    ~CheckedFile();
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    int descriptor() const { return fd_; }
    // The path itself only where /proc is missing.
    QString name() const;

private:
    QString path_;
    int fd_;
};

// The reason a file operation failed with `error` (an errno value), in Russian
// whatever the locale: "на диске нет места", "нет прав на запись" and so on.
QString fileErrorReason(int error);

// Why nothing can be written in `folder`, as an errno value for fileErrorReason, when a
// writer failed without saying (QLockFile, QSaveFile): no space left, a read-only disk, no
// permission, else EIO.
int writeProblem(const QString& folder);

// Creates a new empty file with mode 0600 in `directory`, named `prefix`, a
// random part and `suffix`, and returns its path. Throws TarnwickError.
QString createPrivateFile(const QString& directory, const QString& prefix, const QString& suffix = {});

// Gives a finished file the user saved (made private while it was being worked
// on) the mode a new file of theirs gets: 0666 less the process's umask.
// Returns false when the mode could not be changed, or `path` is a symlink.
bool giveToUser(const QString& path);

} // namespace tarnwick::platform
