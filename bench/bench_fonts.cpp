// What opening the text panel's font list costs: reading the families when no font folder
// changed, and when a font was just installed in the user's folder (fontconfig and Qt read
// every folder again).

#include "editor/tools/InstalledFontPicker.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace tarnwick;

namespace {

// Made before main makes the application: a home of the benchmark's own, with a user font folder.
QTemporaryDir home;
const bool ownHome = [] {
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral(".local/share"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral(".cache"))));
    return QDir().mkpath(home.filePath(QStringLiteral(".local/share/fonts")));
}();

InstalledFontPicker& picker()
{
    static InstalledFontPicker shared([] { return QString(); }, [](const QString&) {}, [] {});
    return shared;
}

void BM_FontListOpensUnchanged(benchmark::State& state)
{
    picker().reload();
    for (auto _ : state) {
        picker().reload();
        benchmark::DoNotOptimize(picker().families().size());
    }
}
BENCHMARK(BM_FontListOpensUnchanged)->Unit(benchmark::kMillisecond);

void BM_FontListOpensAfterAnInstall(benchmark::State& state)
{
    const QString font = home.filePath(QStringLiteral(".local/share/fonts/copy.ttf"));
    for (auto _ : state) {
        state.PauseTiming();
        // A font copied in, or taken out again: the folder changed either way.
        if (!QFile::remove(font))
            QFile::copy(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"), font);
        state.ResumeTiming();
        picker().reload();
        benchmark::DoNotOptimize(picker().families().size());
    }
}
BENCHMARK(BM_FontListOpensAfterAnInstall)->Unit(benchmark::kMillisecond);

} // namespace
