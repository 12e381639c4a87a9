#include "platform/PrivateFiles.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
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
                                                             : fileErrorReason(error);
    throw FileError(QStringLiteral("Не удалось прочитать файл «%1»: %2.").arg(fileName(path), reason), error);
}

[[noreturn]] void failFolder(const QString& path, int error)
{
    throw TarnwickError::message(
        QStringLiteral("Не удалось создать папку «%1»: %2.").arg(QDir::toNativeSeparators(path), fileErrorReason(error)));
}

[[noreturn]] void refuseReplaced(const QString& path)
{
    throw TarnwickError::message(
        QStringLiteral("Папка временных файлов «%1» подменена ссылкой или файлом; Tarnwick не будет её использовать.")
            .arg(QDir::toNativeSeparators(path)));
}

// Makes the folder `name` in `parent` (or accepts an existing one) and opens it,
// refusing a symlink, a file or a folder of another user, and closing it to 0700.
// Opening by the parent's descriptor with O_NOFOLLOW leaves no gap between the
// check and the use, for any component. Returns the folder's descriptor.
int openPrivateFolder(int parent, const QByteArray& name, const QString& path)
{
    if (::mkdirat(parent, name.constData(), 0700) != 0 && errno != EEXIST)
        failFolder(path, errno);
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR)
            refuseReplaced(path);
        failFolder(path, error);
    }
    struct stat info {};
    const bool statted = ::fstat(fd, &info) == 0;
    const int statError = errno;
    if (statted && info.st_uid != ::geteuid()) {
        ::close(fd);
        throw TarnwickError::message(
            QStringLiteral("Папка временных файлов «%1» принадлежит другому пользователю; Tarnwick не будет её использовать.")
                .arg(QDir::toNativeSeparators(path)));
    }
    const bool fixed = statted && ((info.st_mode & 07777) == 0700 || ::fchmod(fd, 0700) == 0);
    const int fixError = errno;
    if (!statted || !fixed) {
        ::close(fd);
        failFolder(path, statted ? fixError : statError);
    }
    return fd;
}

void ensurePrivateFolder(const QString& path)
{
    ::close(openPrivateFolder(AT_FDCWD, QFile::encodeName(path), path));
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
    default:
        return QStringLiteral("ошибка ввода-вывода");
    }
}

QString privateTempRoot()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString root;
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        root = QDir::cleanPath(runtime + QStringLiteral("/tarnwick"));
    else
        root = QStringLiteral("/tmp/tarnwick-%1").arg(::getuid());
    ensurePrivateFolder(root);
    return root;
}

QString privateCacheRootPath()
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString base = !cache.isEmpty() && QDir::isAbsolutePath(cache) ? cache : QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base + QStringLiteral("/tarnwick"));
}

QString privateCacheRoot()
{
    const QString root = privateCacheRootPath();
    // The cache folder is the user's own; only ours below it must be private.
    QDir().mkpath(QFileInfo(root).path());
    ensurePrivateFolder(root);
    return root;
}

void createPrivateDirectory(const QString& root, const QString& path)
{
    // cleanPath drops "x/.." by the text, while the kernel follows x first
    // (a missing x fails, a link leads elsewhere): the folder checked would
    // not be the one written into.
    if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        throw TarnwickError::message(QStringLiteral("Не удалось создать папку «%1»: в пути есть «..».")
                                         .arg(QDir::toNativeSeparators(path)));
    const QString top = QDir::cleanPath(QDir(root).absolutePath());
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    const QString below = QDir(top).relativeFilePath(clean);
    if (below.startsWith(QStringLiteral("..")) || QDir::isAbsolutePath(below))
        throw TarnwickError::message(QStringLiteral("Не удалось создать папку «%1»: она вне папки временных файлов.")
                                         .arg(QDir::toNativeSeparators(path)));
    int fd = openPrivateFolder(AT_FDCWD, QFile::encodeName(top), top);
    QString at = top;
    for (const QString& name : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == u'.')
            continue;
        at += u'/' + name;
        int next = -1;
        try {
            next = openPrivateFolder(fd, QFile::encodeName(name), at);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        fd = next;
    }
    ::close(fd);
}

void removePrivateTree(const QString& path)
{
    const QFileInfo entry(path);
    // QDir::removeRecursively walks into a link given as the top: unlink it instead.
    if (entry.isDir() && !entry.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

void writeFileAtomically(const QString& path, const QByteArray& data, FileAccess access)
{
    PendingFile file(path, access);
    file.write(data.constData(), data.size());
    file.commit();
}

void copyFileAtomically(const QString& source, const QString& path, FileAccess access)
{
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        failReading(source, errno);
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

bool giveToUser(const QString& path)
{
    // A link in the file's place is refused, never followed to a file of someone's.
    return ::fchmodat(AT_FDCWD, QFile::encodeName(path).constData(), 0666 & ~currentUmask(), AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace tarnwick::platform
