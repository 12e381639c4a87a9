#include <QGuiApplication>
#include <benchmark/benchmark.h>

// Every benchmark program runs with a QGuiApplication, so fonts and painting work
// as in the program (on the offscreen platform when `make bench` runs them).
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
