#include "platform/EngineModule.h"

#include "platform/TarnwickError.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QtGlobal>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <string>

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

} // namespace

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
    if (!handle)
        handle = dlopen(modulePath(library).constData(), RTLD_NOW | RTLD_LOCAL);
    const char* problem = handle ? nullptr : dlerror();
    using Entry = const void* (*)();
    const auto get = handle ? reinterpret_cast<Entry>(dlsym(handle, entry)) : nullptr;
    if (handle && !get)
        problem = dlerror();
    const void* entries = get ? get() : nullptr;
    if (!entries) {
        qWarning("tarnwick: %s", problem ? problem : "the module has no entries");
        throw TarnwickError::message(
            QStringLiteral("Не удалось загрузить модуль Tarnwick «%1». Переустановите программу.").arg(QString::fromUtf8(library)));
    }
    loaded().emplace(key, entries);
    return entries;
}

} // namespace tarnwick::platform
