#include "platform/PrivateFiles.h"

#include "platform/TarnwickError.h"

#include <QDir>
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

// Makes one folder (or accepts an existing one) that is a real folder of ours
// with mode 0700.
void ensurePrivateFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        failFolder(path, errno);
    // O_NOFOLLOW refuses a symlink planted in place of the folder; checking
    // the opened descriptor leaves no gap between the check and the use.
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            throw TarnwickError::message(QStringLiteral(
                "Папка временных файлов «%1» подменена ссылкой или файлом; Tarnwick не будет её использовать.")
                                             .arg(QDir::toNativeSeparators(path)));
        }
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
    ::close(fd);
    if (!statted)
        failFolder(path, statError);
    if (!fixed)
        failFolder(path, fixError);
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

QString privateCacheRoot()
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString base = !cache.isEmpty() && QDir::isAbsolutePath(cache) ? cache : QDir::homePath() + QStringLiteral("/.cache");
    const QString root = QDir::cleanPath(base + QStringLiteral("/tarnwick"));
    createPrivateDirectory(root);
    return root;
}

void createPrivateDirectory(const QString& path)
{
    // cleanPath drops "x/.." by the text, while the kernel follows x first
    // (a missing x fails, a link leads elsewhere): the folder checked would
    // not be the one written into.
    if (path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        throw TarnwickError::message(QStringLiteral("Не удалось создать папку «%1»: в пути есть «..».")
                                         .arg(QDir::toNativeSeparators(path)));
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QStringList missing;
    QString at = clean;
    while (!QFileInfo::exists(at)) {
        missing.prepend(at);
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            break;
        at = parent;
    }
    if (!QFileInfo(at).isDir())
        failFolder(clean, ENOTDIR);
    for (const QString& folder : missing)
        ensurePrivateFolder(folder);
    if (missing.isEmpty())
        ensurePrivateFolder(clean);
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

} // namespace tarnwick::platform
