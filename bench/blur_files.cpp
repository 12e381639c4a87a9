// Blurs the text of picture files as the editor's «Только текст» blur does over the whole
// picture, for checking with another reader what stays readable:
//   blur_files OUTDIR FILE...
// Writes OUTDIR/NAME.png for each file and prints "=== NAME" with the notice the editor
// would show, if any.
#include "render/LocalEffects.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QUuid>

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: blur_files OUTDIR FILE...\n");
        return 2;
    }
    const QDir out(args.first());
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(out.path()));
        return 2;
    }
    int failed = 0;
    for (const QString& file : args.mid(1)) {
        const QImage image(file);
        if (image.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
            ++failed;
            continue;
        }
        tarnwick::Annotation blur;
        blur.id = QUuid::createUuid();
        blur.kind = tarnwick::AnnotationTool::blur;
        blur.blurMode = tarnwick::BlurMode::text;
        blur.start = QPointF(0, 0);
        blur.end = QPointF(image.width(), image.height());
        const QString name = QFileInfo(file).completeBaseName();
        try {
            const tarnwick::BlurEffect effect = tarnwick::computeLocal(blur, image, image.size(), image.size(), [] { return false; });
            std::printf("=== %s%s%s\n", qPrintable(name), effect.message ? " " : "",
                        effect.message ? qPrintable(*effect.message) : "");
            if (!effect.image.save(out.filePath(name + QStringLiteral(".png")))) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                ++failed;
            }
            std::fflush(stdout);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(file), error.what());
            ++failed;
        }
    }
    return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
