// Reads picture files with the recogniser as the program links it, for comparing builds:
//   recognize_files [--times N] FILE...
// Prints each file's reading as "=== NAME" and the lines read, the form the screen set keeps
// a build's readings in. With --times, each file is read once to warm the engines and then
// N times more, and "=== NAME ms=T" gives the fastest of those readings in milliseconds.
// Kept free of anything newer than the recogniser's first interface, so an older tree
// builds it unchanged.
#include "render/recognition/ScreenTextRecognizer.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    int times = 0;
    if (files.size() >= 2 && files.first() == QLatin1String("--times")) {
        times = files.at(1).toInt();
        files = files.mid(2);
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: recognize_files [--times N] FILE...\n");
        return 2;
    }
    int failed = 0;
    for (const QString& file : files) {
        const QImage image(file);
        if (image.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
            ++failed;
            continue;
        }
        try {
            const QString text = tarnwick::ScreenTextRecognizer::recognize(image).value_or(QString());
            double best = -1;
            for (int i = 0; i < times; ++i) {
                const auto start = std::chrono::steady_clock::now();
                (void)tarnwick::ScreenTextRecognizer::recognize(image);
                const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                best = best < 0 ? ms : std::min(best, ms);
            }
            const QString name = QFileInfo(file).completeBaseName();
            if (times > 0)
                std::printf("=== %s ms=%.1f\n", qPrintable(name), best);
            else
                std::printf("=== %s\n", qPrintable(name));
            if (!text.isEmpty())
                std::printf("%s\n", qPrintable(text));
            std::fflush(stdout);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file), error.what());
            ++failed;
        }
    }
    return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
