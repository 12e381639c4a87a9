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

namespace tarnwick::platform {

namespace {

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

} // namespace tarnwick::platform
