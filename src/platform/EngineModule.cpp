#include "platform/EngineModule.h"

#include "platform/TarnwickError.h"

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

} // namespace

const void* engineEntries(const char* library, const char* entry)
{
    const std::string key = std::string(library) + '\n' + entry;
    std::lock_guard guard(lock);
    if (const auto found = loaded().find(key); found != loaded().end())
        return found->second;
    // The program's run path names the modules' folder. Symbols are bound at once, so a
    // module that does not fit this program fails here rather than at its first call.
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    const char* problem = handle ? nullptr : dlerror();
    using Entry = const void* (*)();
    const auto get = handle ? reinterpret_cast<Entry>(dlsym(handle, entry)) : nullptr;
    if (handle && !get)
        problem = dlerror();
    const void* entries = get ? get() : nullptr;
    if (!entries)
        throw TarnwickError::message(
            QStringLiteral("Не удалось загрузить модуль Tarnwick «%1»: %2. Переустановите программу.")
                .arg(QString::fromUtf8(library), problem ? QString::fromLocal8Bit(problem) : QStringLiteral("модуль пуст")));
    loaded().emplace(key, entries);
    return entries;
}

bool engineLoaded(const char* library)
{
    return dlopen(library, RTLD_NOW | RTLD_NOLOAD) != nullptr;
}

} // namespace tarnwick::platform
