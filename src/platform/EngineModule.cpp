#include "platform/EngineModule.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QtGlobal>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick::platform {

namespace {

std::mutex lock;
std::map<std::string, const void*>& loaded()
{
    static auto* entries = new std::map<std::string, const void*>; // modules are never unloaded
    return *entries;
}

// The modules' folder, as installed beside the program's own folder.
QByteArray modulePath(const char* library)
{
    const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString folder = QFileInfo(program).dir().filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN));
    return QFile::encodeName(QDir(folder).filePath(QString::fromUtf8(library)));
}

// Reads exactly `size` bytes at `offset`.
bool readAt(int fd, void* into, std::size_t size, off_t offset)
{
    auto* bytes = static_cast<char*>(into);
    while (size > 0) {
        const ssize_t got = ::pread(fd, bytes, size, offset);
        if (got <= 0)
            return false;
        bytes += got;
        size -= std::size_t(got);
        offset += got;
    }
    return true;
}

// Whether a range of the file lies inside its `size` bytes, without overflow.
bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

} // namespace

QString moduleFileProblem(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {}; // missing or unreadable: dlopen says which
    const auto problem = [fd]() -> const char* {
        struct stat file {};
        if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode))
            return "not a regular file";
        const auto size = std::uint64_t(file.st_size);
        ElfW(Ehdr) header {};
        if (!readAt(fd, &header, sizeof header, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
            return "not an ELF file";
        if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) || header.e_type != ET_DYN)
            return "not a shared library of this machine";
        if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0 || header.e_phnum == PN_XNUM)
            return "its program headers are damaged";
        const std::uint64_t table = std::uint64_t(header.e_phnum) * sizeof(ElfW(Phdr));
        if (!within(header.e_phoff, table, size))
            return "it ends inside its program headers";
        std::vector<ElfW(Phdr)> segments(header.e_phnum);
        if (!readAt(fd, segments.data(), table, off_t(header.e_phoff)))
            return "its program headers cannot be read";
        // The loader maps every segment from the file; a page past its end faults on the first touch.
        for (const ElfW(Phdr)& segment : segments) {
            if (!within(segment.p_offset, segment.p_filesz, size))
                return "it is shorter than its segments";
            if (segment.p_type == PT_LOAD && segment.p_filesz > segment.p_memsz)
                return "its program headers are damaged";
        }
        return nullptr;
    }();
    ::close(fd);
    return problem ? QString::fromLatin1(problem) : QString();
}

const void* engineEntries(const char* library, const char* entry)
{
    const std::string key = std::string(library) + '\n' + entry;
    std::lock_guard guard(lock);
    if (const auto found = loaded().find(key); found != loaded().end())
        return found->second;
    // A test program links the module, so it is there already. The program finds it by the
    // path from its own file, not by its run path: a sanitizer's dlopen is not the caller
    // whose run path counts. Symbols are bound at once, so a module that does not fit this
    // program fails here rather than at its first call.
    void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    QByteArray problem;
    if (!handle) {
        // A file cut short (a broken update, a full disk at install) is mapped past its end by
        // dlopen, and the first touch kills the program: such a file counts as missing.
        const QByteArray path = modulePath(library);
        if (const QString damaged = moduleFileProblem(QFile::decodeName(path)); !damaged.isEmpty())
            problem = path + ": " + damaged.toUtf8();
        else if (!(handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL)))
            problem = dlerror();
    }
    using Entry = const void* (*)();
    const auto get = handle ? reinterpret_cast<Entry>(dlsym(handle, entry)) : nullptr;
    if (handle && !get)
        problem = dlerror();
    const void* entries = get ? get() : nullptr;
    if (!entries) {
        qWarning("tarnwick: %s", problem.isEmpty() ? "the module has no entries" : problem.constData());
        throw TarnwickError::message(
            QStringLiteral("Не удалось загрузить модуль Tarnwick «%1». Переустановите программу.").arg(QString::fromUtf8(library)));
    }
    loaded().emplace(key, entries);
    return entries;
}

} // namespace tarnwick::platform
