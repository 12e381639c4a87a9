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

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unistd.h>

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
    // The file is the user's, whoever asked for it: the mode their other new files get.
    platform::writeFileAtomically(path, png, platform::FileAccess::user);
}

namespace {

int fail(const QString& sentence)
{
    std::fprintf(stderr, "%s\n", sentence.toUtf8().constData());
    return pickerFailed;
}

// The screens as they are now, and the windows a click can pick.
struct Frozen {
    QImage image;
    std::vector<platform::Monitor> monitors;
    std::vector<platform::TopLevelWindow> windows;
};

// Nothing, with the reason on standard error, when the screens cannot be read.
std::optional<Frozen> freeze()
{
    Frozen frozen;
    try {
        auto grabber = platform::makeScreenGrabber();
        if (!grabber->unavailableReason().isEmpty()) {
            fail(grabber->unavailableReason());
            return std::nullopt;
        }
        frozen.image = grabber->grab(grabber->screenRect());
        frozen.monitors = grabber->monitors();
        // Also for an area: Space switches the picker to choosing a window of this same moment.
        platform::X11Connection connection;
        frozen.windows = platform::topLevelWindows(connection);
    } catch (const TarnwickError& e) {
        fail(e.errorDescription());
        return std::nullopt;
    }
    return frozen;
}

// Shows the veils over `frozen` and runs until the user picks or cancels.
int pick(QApplication& app, const PickerArguments& args, Frozen frozen)
{
    FrozenOverlay::Options options;
    options.showsSize = !args.pickWindow;
    options.rightClickCancels = true;
    options.picksWindows = args.pickWindow;
    SelectionOverlays overlays(frozen.image, frozen.monitors, options);
    overlays.pickWindows(std::move(frozen.windows), args.withoutShadow);

    const auto save = [&](const QRect& pixels, double scale) {
        try {
            QImage shot = frozen.image.copy(pixels);
            // Where it was taken, so the editor opens on that screen.
            shot.setOffset(pixels.topLeft());
            writeShot(std::move(shot), scale, args.file);
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

// Reads standard input until the command line is complete; nothing at end of input.
std::optional<QStringList> readCommandLine()
{
    QByteArray pending;
    char chunk[4096];
    for (;;) {
        // The line ends with an empty argument: two NULs in a row, or one at the start.
        for (qsizetype end = pending.indexOf('\0'); end >= 0; end = pending.indexOf('\0', end + 1)) {
            if (end == 0 || pending[end - 1] == '\0') {
                QStringList arguments;
                for (const QByteArray& a : pending.left(end).split('\0'))
                    if (!a.isEmpty())
                        arguments << QString::fromLocal8Bit(a);
                return arguments;
            }
        }
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || pending.size() > 65536)
            return std::nullopt;
        pending.append(chunk, got);
    }
}

} // namespace

int runPicker(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // The veils are X11 windows whatever platform the parent process chose.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QString error;
    if (arguments == QStringList{QLatin1String(standbyArgument)}) {
        // Loaded and connected ahead: only the grab and the veils remain for the key.
        QApplication app(argc, argv);
        const std::optional<QStringList> line = readCommandLine();
        if (!line)
            return pickerCancelled;
        // Screens added or moved while it waited reach Qt first.
        app.processEvents();
        const std::optional<PickerArguments> args = PickerArguments::parse(*line, &error);
        if (!args)
            return fail(error);
        std::optional<Frozen> frozen = freeze();
        return frozen ? pick(app, *args, std::move(*frozen)) : int(pickerFailed);
    }
    const std::optional<PickerArguments> args = PickerArguments::parse(arguments, &error);
    if (!args)
        return fail(error);
    // Freeze before anything else, so the shot is what the user saw at the key press.
    std::optional<Frozen> frozen = freeze();
    if (!frozen)
        return pickerFailed;
    QApplication app(argc, argv);
    return pick(app, *args, std::move(*frozen));
}

} // namespace tarnwick::capture
