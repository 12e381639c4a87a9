#include "platform/EngineModule.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <map>
#include <mutex>
#include <optional>
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

// A module file as the loader sees it: its size, ELF header and program headers.
struct ModuleFile {
    std::uint64_t size = 0;
    ElfW(Ehdr) header {};
    std::vector<ElfW(Phdr)> segments;
};

// Reads the headers of the open file `fd` into `file`; what makes it unsafe to map, or nullptr.
const char* readModule(int fd, ModuleFile& file)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return "not a regular file";
    file.size = std::uint64_t(info.st_size);
    ElfW(Ehdr)& header = file.header;
    if (!readAt(fd, &header, sizeof header, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF file";
    if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) || header.e_type != ET_DYN)
        return "not a shared library of this machine";
    if (header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0 || header.e_phnum == PN_XNUM)
        return "its program headers are damaged";
    const std::uint64_t table = std::uint64_t(header.e_phnum) * sizeof(ElfW(Phdr));
    if (!within(header.e_phoff, table, file.size))
        return "it ends inside its program headers";
    file.segments.resize(header.e_phnum);
    if (!readAt(fd, file.segments.data(), table, off_t(header.e_phoff)))
        return "its program headers cannot be read";
    // The loader maps every segment from the file; a page past its end faults on the first touch.
    for (const ElfW(Phdr)& segment : file.segments) {
        if (!within(segment.p_offset, segment.p_filesz, file.size))
            return "it is shorter than its segments";
        if (segment.p_type == PT_LOAD && segment.p_filesz > segment.p_memsz)
            return "its program headers are damaged";
    }
    return nullptr;
}

// Where the loaded address `address` lies in the file; nothing outside every loaded segment.
std::optional<std::uint64_t> fileOffset(const ModuleFile& file, std::uint64_t address)
{
    for (const ElfW(Phdr)& segment : file.segments)
        if (segment.p_type == PT_LOAD && address >= segment.p_vaddr && address - segment.p_vaddr < segment.p_filesz)
            return segment.p_offset + (address - segment.p_vaddr);
    return std::nullopt;
}

// The libraries the module names as needed (DT_NEEDED), from its dynamic segment.
QStringList neededLibraries(int fd, const ModuleFile& file)
{
    const auto dynamic = std::find_if(file.segments.begin(), file.segments.end(),
                                      [](const ElfW(Phdr)& s) { return s.p_type == PT_DYNAMIC; });
    if (dynamic == file.segments.end())
        return {};
    std::vector<ElfW(Dyn)> entries(dynamic->p_filesz / sizeof(ElfW(Dyn)));
    if (!readAt(fd, entries.data(), entries.size() * sizeof(ElfW(Dyn)), off_t(dynamic->p_offset)))
        return {};
    std::uint64_t strings = 0, stringsSize = 0;
    for (const ElfW(Dyn)& entry : entries) {
        if (entry.d_tag == DT_STRTAB)
            strings = entry.d_un.d_ptr;
        else if (entry.d_tag == DT_STRSZ)
            stringsSize = entry.d_un.d_val;
    }
    const std::optional<std::uint64_t> at = fileOffset(file, strings);
    if (!at || !within(*at, stringsSize, file.size))
        return {};
    std::vector<char> table(stringsSize + 1, '\0');
    if (!readAt(fd, table.data(), stringsSize, off_t(*at)))
        return {};
    QStringList needed;
    for (const ElfW(Dyn)& entry : entries)
        if (entry.d_tag == DT_NEEDED && entry.d_un.d_val < stringsSize)
            needed << QFile::decodeName(table.data() + entry.d_un.d_val);
    return needed;
}

// Runs `read` on the module file at `path` opened for reading; `otherwise` when it cannot be opened.
template<class Read>
auto withModule(const QString& path, Read read, decltype(read(0)) otherwise)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return otherwise;
    auto result = read(fd);
    ::close(fd);
    return result;
}

} // namespace

QString moduleFileProblem(const QString& path)
{
    return withModule(path, [](int fd) {
        ModuleFile file;
        const char* problem = readModule(fd, file);
        return problem ? QString::fromLatin1(problem) : QString();
    }, QString()); // missing or unreadable: dlopen says which
}

QString moduleProblem(const QString& path)
{
    const QDir folder = QFileInfo(path).dir();
    QStringList pending{QFileInfo(path).fileName()}, checked;
    while (!pending.isEmpty()) {
        const QString name = pending.takeFirst();
        checked << name;
        const QString file = folder.filePath(name);
        const auto [problem, needed] = withModule(file, [](int fd) {
            ModuleFile module;
            const char* damaged = readModule(fd, module);
            return std::pair(damaged ? QString::fromLatin1(damaged) : QString(),
                             damaged ? QStringList() : neededLibraries(fd, module));
        }, std::pair(QString(), QStringList()));
        if (!problem.isEmpty())
            return file + QStringLiteral(": ") + problem;
        // Ours lie beside it; the system's libraries are the system's to keep whole.
        for (const QString& library : needed)
            if (!checked.contains(library) && !pending.contains(library) && !library.contains(u'/')
                && QFileInfo::exists(folder.filePath(library)))
                pending << library;
    }
    return {};
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
        // dlopen, and the first touch kills the program: such a file counts as missing, and so
        // does the module when a module of ours it needs is such a file.
        const QByteArray path = modulePath(library);
        if (const QString damaged = moduleProblem(QFile::decodeName(path)); !damaged.isEmpty())
            problem = damaged.toUtf8();
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
