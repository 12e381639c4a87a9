#include "editor/tools/InstalledFonts.h"

#include "platform/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <dirent.h>
#include <fontconfig/fontconfig.h>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarnwick {
namespace {

// The font folders (with the folders below them) and the configuration files and folders as
// they were at a look: each path with its modification time in nanoseconds, 0 when it is missing.
// fontconfig's own check counts whole seconds and misses a change made in the second of its
// last look.
using Stamps = std::vector<std::pair<std::string, std::int64_t>>;

Stamps stamps()
{
    Stamps out;
    FcConfig* config = FcConfigReference(nullptr);
    if (!config)
        return out;
    for (FcStrList* list : {FcConfigGetFontDirs(config), FcConfigGetConfigFiles(config), FcConfigGetConfigDirs(config)}) {
        if (!list)
            continue;
        while (const FcChar8* path = FcStrListNext(list)) {
            struct stat status {};
            const char* name = reinterpret_cast<const char*>(path);
            const std::int64_t stamp = ::stat(name, &status) == 0
                                           ? std::int64_t(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec
                                           : 0;
            out.emplace_back(name, stamp);
        }
        FcStrListDone(list);
    }
    FcConfigDestroy(config);
    return out;
}

// What fontconfig would open for reading and wait on while it reads the font folders again: the
// first entry below one (a link followed, as fontconfig follows it) that is neither a folder nor
// a regular file, such as a named pipe; empty when there is none. Hidden names are passed by, as
// fontconfig passes them.
QString notAFontFile()
{
    std::set<std::pair<dev_t, ino_t>> visited;
    std::vector<std::string> folders;
    FcConfig* config = FcConfigReference(nullptr);
    if (FcStrList* list = config ? FcConfigGetFontDirs(config) : nullptr) {
        while (const FcChar8* path = FcStrListNext(list))
            folders.emplace_back(reinterpret_cast<const char*>(path));
        FcStrListDone(list);
    }
    if (config)
        FcConfigDestroy(config);
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        struct stat status {};
        if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)
            || !visited.insert({status.st_dev, status.st_ino}).second)
            continue;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
        while (const dirent* entry = dir ? ::readdir(dir.get()) : nullptr) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string path = folder + '/' + entry->d_name;
            if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode))
                continue;
            if (!S_ISDIR(status.st_mode))
                return QString::fromLocal8Bit(path.c_str());
            folders.push_back(path);
        }
    }
    return {};
}

// Qt 6.4 has no public call that reads the system's fonts again. Removing an application font
// drops its whole family list, which it then fills from fontconfig's current set on the next
// question; the font added for that is one fontconfig already has.
void rebuildQtFamilies()
{
    FcPattern* any = FcPatternCreate();
    FcConfigSubstitute(nullptr, any, FcMatchPattern);
    FcDefaultSubstitute(any);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, any, &result);
    FcChar8* file = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        try {
            const platform::CheckedFile font(QString::fromLocal8Bit(reinterpret_cast<const char*>(file)));
            const int id = QFontDatabase::addApplicationFont(font.name());
            if (id >= 0)
                QFontDatabase::removeApplicationFont(id);
        } catch (const platform::FileError&) {
            // gone or swapped since fontconfig read it: Qt keeps the list it has
        }
    }
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(any);
}

// When this process started, in seconds since the epoch (0 when /proc cannot tell): fontconfig
// read the font folders after it, when Qt first asked for a font.
std::int64_t processStart()
{
    QFile stat(QStringLiteral("/proc/self/stat")), system(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly) || !system.open(QIODevice::ReadOnly))
        return 0;
    // The fields after the program's name, which may hold blanks and parentheses: the 20th is
    // the start in clock ticks after the boot.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.size() > 19 ? fields[19].toDouble() : 0;
    std::int64_t boot = 0;
    for (const QByteArray& entry : system.readAll().split('\n'))
        if (entry.startsWith("btime "))
            boot = entry.mid(6).trimmed().toLongLong();
    return boot > 0 ? boot + std::int64_t(ticks / double(::sysconf(_SC_CLK_TCK))) : 0;
}

// Whether a folder may have changed since fontconfig first read it, as far as fontconfig can
// tell. It counts whole seconds: a change in the second of its reading looks like none, so a
// time in or after the second this process started is taken for a change.
bool changedSinceFirstRead(const Stamps& now)
{
    if (!FcConfigUptoDate(nullptr))
        return true;
    // The boot time is counted in whole seconds too: a second more, to be sure.
    const std::int64_t start = processStart() - 1;
    return std::any_of(now.begin(), now.end(), [&](const auto& stamp) { return stamp.second / 1'000'000'000 >= start; });
}

} // namespace

QStringList installedFontFamilies(QString* problem)
{
    static std::optional<Stamps> seen;
    static QString blocking;
    const Stamps now = stamps();
    const bool changed = seen ? *seen != now : changedSinceFirstRead(now);
    seen = now;
    if (changed)
        blocking = notAFontFile();
    if (problem)
        *problem = blocking.isEmpty() ? QString()
                                      : QStringLiteral("Новые шрифты не прочитаны: «%1» в папке шрифтов — не файл.")
                                            .arg(QFileInfo(blocking).fileName());
    if (changed && blocking.isEmpty() && FcInitReinitialize()) {
        // Folders fontconfig found only now (below the others) are taken as they are; the ones
        // known before keep their times of before the reading, so a change made during it is
        // seen at the next look.
        Stamps after = stamps();
        for (auto& [path, stamp] : after)
            if (const auto it = std::find_if(now.begin(), now.end(), [&](const auto& s) { return s.first == path; });
                it != now.end())
                stamp = it->second;
        seen = std::move(after);
        rebuildQtFamilies();
    }
    return QFontDatabase::families();
}

} // namespace tarnwick
