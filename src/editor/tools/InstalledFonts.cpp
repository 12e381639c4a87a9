#include "editor/tools/InstalledFonts.h"

#include <QFontDatabase>
#include <QString>
#include <cstdint>
#include <fontconfig/fontconfig.h>
#include <optional>
#include <string>
#include <sys/stat.h>
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
        const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(reinterpret_cast<const char*>(file)));
        if (id >= 0)
            QFontDatabase::removeApplicationFont(id);
    }
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(any);
}

} // namespace

QStringList installedFontFamilies()
{
    static std::optional<Stamps> seen;
    // Before the first look fontconfig knows best what changed since it read the folders.
    const Stamps now = stamps();
    const bool changed = seen ? *seen != now : !FcConfigUptoDate(nullptr);
    seen = now;
    if (changed && FcInitReinitialize()) {
        seen = stamps();
        rebuildQtFamilies();
    }
    return QFontDatabase::families();
}

} // namespace tarnwick
