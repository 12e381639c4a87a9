#include "capture/Picker.h"

#include "capture/SelectionOverlays.h"
#include "platform/ImageScale.h"
#include "platform/PrivateFiles.h"
#include "platform/ScreenGrabber.h"
#include "platform/TarnwickError.h"
#include "platform/X11Connection.h"

#include <QApplication>
#include <QBuffer>
#include <QImageWriter>

#include <cmath>
#include <cstdio>

namespace tarnwick::capture {

std::optional<PickerArguments> PickerArguments::parse(const QStringList& arguments, QString* error)
{
    PickerArguments result;
    bool interactive = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-i")) {
            interactive = true;
        } else if (a == QLatin1String("-x")) {
            // No sound is ever played.
        } else if (a == QLatin1String("-w")) {
            result.pickWindow = true;
        } else if (a == QLatin1String("-o")) {
            result.withoutShadow = true;
        } else if (a == QLatin1String("-t")) {
            if (++i == arguments.size() || arguments[i] != QLatin1String("png")) {
                *error = QStringLiteral("Поддерживается только формат png (-t png).");
                return std::nullopt;
            }
        } else if (a.startsWith(QLatin1Char('-')) || !result.file.isEmpty()) {
            *error = QStringLiteral("Непонятный аргумент «%1». Использование: tarnwick-capture -i -x -t png [-w -o] ФАЙЛ")
                         .arg(a);
            return std::nullopt;
        } else {
            result.file = a;
        }
    }
    if (!interactive || result.file.isEmpty()) {
        *error = QStringLiteral("Использование: tarnwick-capture -i -x -t png [-w -o] ФАЙЛ");
        return std::nullopt;
    }
    return result;
}

void writeShot(QImage image, double scale, const QString& path)
{
    platform::setPixelsPerPoint(image, scale);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw TarnwickError(QStringLiteral("Не удалось сжать снимок в PNG: %1.").arg(writer.errorString()));
    platform::writeFileAtomically(path, png);
}

namespace {

int fail(const QString& sentence)
{
    std::fprintf(stderr, "%s\n", sentence.toUtf8().constData());
    return pickerFailed;
}

} // namespace

int runPicker(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    const std::optional<PickerArguments> args = PickerArguments::parse(arguments, &error);
    if (!args)
        return fail(error);

    // Freeze before anything else, so the shot is what the user saw at the key press.
    QImage frozen;
    std::vector<platform::Monitor> monitors;
    std::vector<platform::TopLevelWindow> windows;
    try {
        auto grabber = platform::makeScreenGrabber();
        if (!grabber->unavailableReason().isEmpty())
            return fail(grabber->unavailableReason());
        frozen = grabber->grab(grabber->screenRect());
        monitors = grabber->monitors();
        if (args->pickWindow) {
            platform::X11Connection connection;
            windows = platform::topLevelWindows(connection);
        }
    } catch (const TarnwickError& e) {
        return fail(e.errorDescription());
    }

    // The veils are X11 windows whatever platform the parent process chose.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    FrozenOverlay::Options options;
    options.showsSize = !args->pickWindow;
    options.rightClickCancels = true;
    options.picksWindows = args->pickWindow;
    SelectionOverlays overlays(frozen, monitors, options);
    if (args->pickWindow)
        overlays.pickWindows(std::move(windows), args->withoutShadow);

    const auto save = [&](const QRect& pixels, double scale) {
        try {
            QImage shot = frozen.copy(pixels);
            // Where it was taken, so the editor opens on that screen.
            shot.setOffset(pixels.topLeft());
            writeShot(std::move(shot), scale, args->file);
            app.exit(pickerSaved);
        } catch (const TarnwickError& e) {
            app.exit(fail(e.errorDescription()));
        }
    };
    QObject::connect(&overlays, &SelectionOverlays::areaSelected, &app,
                     [&](QScreen* screen, QRectF, QRect pixels) { save(pixels, screen->devicePixelRatio()); });
    QObject::connect(&overlays, &SelectionOverlays::windowSelected, &app, save);
    QObject::connect(&overlays, &SelectionOverlays::cancelled, &app, [&] { app.exit(pickerCancelled); });
    overlays.show();
    return app.exec();
}

} // namespace tarnwick::capture
