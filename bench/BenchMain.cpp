#include <benchmark/benchmark.h>
#ifdef TARNWICK_BENCH_WIDGETS
#include <QApplication>
using BenchApplication = QApplication;
#else
#include <QGuiApplication>
using BenchApplication = QGuiApplication;
#endif

// Every benchmark program runs with a QGuiApplication (a QApplication for widgets), so fonts and painting work
// as in the program (on the offscreen platform when `make bench` runs them).
int main(int argc, char** argv)
{
    BenchApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
