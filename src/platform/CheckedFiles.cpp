// The one checked path every written file takes, and the checked opening of a file to read.
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarnwick::platform {

namespace {

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

[[noreturn]] void failWriting(const QString& path, int error)
{
    throw FileError(QStringLiteral("Не удалось записать файл «%1»: %2.").arg(fileName(path), fileErrorReason(error)), error);
}

[[noreturn]] void failReading(const QString& path, int error)
{
    const QString reason = error == ENOENT                     ? QStringLiteral("файл не найден")
                         : error == EACCES || error == EPERM ? QStringLiteral("нет прав на чтение")
                         : error == EINVAL                   ? QStringLiteral("это не файл")
                                                             : fileErrorReason(error);
    throw FileError(QStringLiteral("Не удалось прочитать файл «%1»: %2.").arg(fileName(path), reason), error);
}

// The process's umask without changing it: umask(2) can only be read by setting
// it, which would race with other threads creating files.
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    // A file of /proc has no size, so it is read whole rather than up to its end.
    const QByteArray lines = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    for (const QByteArray& line : lines.split('\n')) {
        bool ok = false;
        const uint mask = line.startsWith("Umask:") ? line.mid(6).trimmed().toUInt(&ok, 8) : 0;
        if (ok)
            return mode_t(mask & 0777);
    }
    return 022;
}

// A new file beside `path` that becomes `path` on commit() and is removed
// otherwise. Plain system calls: every failed write is seen where it happens
// (a buffered QSaveFile in Qt 6.4 loses a failure of its last flush and
// renames the short file into place).
class PendingFile {
public:
    PendingFile(const QString& path, FileAccess access)
        : path_(path), temporary_(QFile::encodeName(QFileInfo(path).path() + QStringLiteral("/.Tarnwick-XXXXXX")))
    {
        // mkostemp creates the file private and never opens an existing name.
        fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
        if (fd_ < 0)
            failWriting(path_, errno);
        if (::fchmod(fd_, access == FileAccess::user ? 0666 & ~currentUmask() : 0600) != 0) {
            const int error = errno;
            ::close(fd_);
            ::unlink(temporary_.constData());
            failWriting(path_, error);
        }
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!committed_)
            ::unlink(temporary_.constData());
    }

    void write(const char* data, qint64 size)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size_t(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                failWriting(path_, n < 0 ? errno : ENOSPC);
            data += n;
            size -= n;
        }
    }

    void commit()
    {
        // A network or delayed-allocation disk may report a failed write only here.
        if (::fdatasync(fd_) != 0 && errno != EINVAL)
            failWriting(path_, errno);
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 && errno != EINTR)
            failWriting(path_, errno);
        // rename(2) replaces a file, or a link, at `path` in one step and never follows it.
        if (::rename(temporary_.constData(), QFile::encodeName(path_).constData()) != 0)
            failWriting(path_, errno);
        committed_ = true;
    }

private:
    QString path_;
    QByteArray temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace

QString fileErrorReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("на диске нет места");
    case EROFS:
        return QStringLiteral("диск только для чтения");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на запись");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("папка не найдена");
    case EEXIST:
        return QStringLiteral("такое имя уже занято");
    case ENAMETOOLONG:
        return QStringLiteral("слишком длинное имя");
    case EISDIR:
        return QStringLiteral("это папка");
    default:
        return QStringLiteral("ошибка ввода-вывода");
    }
}

void writeFileAtomically(const QString& path, const QByteArray& data, FileAccess access)
{
    PendingFile file(path, access);
    file.write(data.constData(), data.size());
    file.commit();
}

int openForReading(const QString& path, Links links)
{
    const QByteArray name = QFile::encodeName(path);
    // Looked at before it is opened: opening a device can act on it (a tape rewinds), and
    // opening a pipe would let its waiting writer go.
    struct stat seen {};
    const bool follow = links == Links::followed;
    if ((follow ? ::stat(name.constData(), &seen) : ::lstat(name.constData(), &seen)) == 0 && !S_ISREG(seen.st_mode))
        failReading(path, S_ISDIR(seen.st_mode) ? EISDIR : EINVAL);
    // O_NONBLOCK: a pipe or a device put there since would otherwise wait for its other end.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0)
        failReading(path, errno == ELOOP && !follow ? EINVAL : errno);
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        failReading(path, error);
    }
    return fd;
}

CheckedFile::CheckedFile(const QString& path, Links links) : path_(path), fd_(openForReading(path, links)) {}

CheckedFile::~CheckedFile()
{
    ::close(fd_);
}

QString CheckedFile::name() const
{
    // The descriptor's own name opens this very file again, whatever the path holds by then.
    const QString own = QStringLiteral("/proc/self/fd/%1").arg(fd_);
    struct stat mine {}, named {};
    if (::fstat(fd_, &mine) == 0 && ::stat(QFile::encodeName(own).constData(), &named) == 0 && mine.st_ino == named.st_ino
        && mine.st_dev == named.st_dev)
        return own;
    return path_;
}

void copyFileAtomically(const QString& source, const QString& path, FileAccess access)
{
    const int in = openForReading(source);
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    PendingFile file(path, access);
    std::vector<char> block(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failReading(source, errno);
        if (n == 0)
            break;
        file.write(block.data(), n);
    }
    file.commit();
}

QString createPrivateFile(const QString& directory, const QString& prefix, const QString& suffix)
{
    QByteArray name = QFile::encodeName(QDir(directory).filePath(prefix + QStringLiteral("XXXXXX") + suffix));
    // mkstemps creates the file with mode 0600 and refuses existing names.
    const int fd = ::mkstemps(name.data(), static_cast<int>(QFile::encodeName(suffix).size()));
    if (fd < 0)
        failWriting(QFile::decodeName(name), errno);
    ::close(fd);
    return QFile::decodeName(name);
}

int writeProblem(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    struct statvfs room {};
    if (::statvfs(name.constData(), &room) == 0 && room.f_bavail == 0)
        return ENOSPC;
    if (::access(name.constData(), W_OK) != 0)
        return errno;
    return EIO;
}

bool giveToUser(const QString& path)
{
    // A link in the file's place is refused, never followed to a file of someone's.
    return ::fchmodat(AT_FDCWD, QFile::encodeName(path).constData(), 0666 & ~currentUmask(), AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace tarnwick::platform
