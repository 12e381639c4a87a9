#include "platform/PrivateFiles.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::platform {

namespace {

QString reasonFor(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("на диске нет места");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("нет прав на запись");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("папка не найдена");
    default:
        return QStringLiteral("ошибка ввода-вывода");
    }
}

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

[[noreturn]] void failWriting(const QString& path, int error)
{
    throw TarnwickError::message(
        QStringLiteral("Не удалось записать файл «%1»: %2.").arg(fileName(path), reasonFor(error)));
}

[[noreturn]] void failFolder(const QString& path, int error)
{
    throw TarnwickError::message(
        QStringLiteral("Не удалось создать папку «%1»: %2.").arg(QDir::toNativeSeparators(path), reasonFor(error)));
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

} // namespace

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

void writeFileAtomically(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    // Unbuffered, so a failing write leaves its errno for the message.
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        failWriting(path, errno ? errno : ENOENT);
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        failWriting(path, errno);
    qint64 written = 0;
    while (written < data.size()) {
        errno = 0;
        const qint64 n = file.write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            const int error = errno;
            file.cancelWriting();
            failWriting(path, error);
        }
        written += n;
    }
    errno = 0;
    if (!file.commit())
        failWriting(path, errno);
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
