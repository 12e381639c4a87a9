#pragma once

#include "RealProgram.h"

#include "render/recognition/ScreenTextRecognizer.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <X11/keysym.h>

namespace tarnwick::test {

using namespace std::chrono_literals;

// The large libraries come in with the engine that needs them, the first time it is used.
class EnginesOnDemand : public RealProgram {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        startDesktop();
    }

    // Text on the desktop, then Ctrl+Shift+0 and a drag over it, as a user reads it.
    void captureText(const QString& words)
    {
        QImage text(900, 120, QImage::Format_RGB32);
        text.fill(Qt::white);
        {
            QPainter painter(&text);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(40);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(text.rect(), Qt::AlignCenter, words);
        }
        x.putPixels(x.root(), 500, 400, text.width(), text.height(), reinterpret_cast<const std::uint32_t*>(text.constBits()));
        x.sync();
        x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(XK_Shift_L), x.keycodeOf(XK_0)});
        ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s))
            << "no picker holds the keyboard; windows outside the window manager: "
            << x.viewableUnmanagedWindows().size() << "; the program is "
            << (app.state() == QProcess::Running ? "running" : "gone");
        x.drag(510, 405, 1390, 515); // within the white, so no edge of it reads as a stroke
    }

    // The libraries among `names` that the running program has mapped.
    QSet<QString> mapped(const QStringList& names)
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(app.processId()));
        if (!maps.open(QIODevice::ReadOnly))
            return {};
        QSet<QString> found;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QString file = QFileInfo(QString::fromUtf8(line.mid(line.lastIndexOf(' ') + 1))).fileName();
            for (const QString& name : names)
                if (file.startsWith(name + u'.'))
                    found << name;
        }
        return found;
    }

    using PlaceModule = std::function<bool(const QString& built, const QString& installed)>;

    // Puts the first `bytes` of the built module where it is installed: a file cut short.
    static PlaceModule cutTo(qint64 bytes)
    {
        return [bytes](const QString& built, const QString& installed) {
            QFile whole(built), cut(installed);
            QFile::remove(installed);
            return whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly) && cut.write(whole.read(bytes)) == bytes;
        };
    }

    // The program and its picker laid out as installed, with every module but `module`, which
    // `place` puts in place (or not) from the built one; then started from there.
    void startInstalled(const PlaceModule& place, const QString& module = QStringLiteral("libtarnwick_recognition.so"))
    {
        const QDir bin(prefix.filePath(QStringLiteral("bin")));
        const QDir built = QFileInfo(QStringLiteral(TARNWICK_APP)).dir();
        const QDir modules(bin.filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN)));
        ASSERT_TRUE(QDir().mkpath(bin.path()) && QDir().mkpath(modules.path()));
        for (const QString& program : {QStringLiteral("tarnwick"), QStringLiteral("tarnwick-capture")})
            ASSERT_TRUE(QFile::copy(built.filePath(program), bin.filePath(program)));
        const QDir builtModules(built.filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN)));
        for (const QString& other : builtModules.entryList({QStringLiteral("*.so")}, QDir::Files)) {
            if (other != module) {
                ASSERT_TRUE(QFile::copy(builtModules.filePath(other), modules.filePath(other)));
            }
        }
        ASSERT_TRUE(place(builtModules.filePath(module), modules.filePath(module)));
        app.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        startProgram({}, bin.filePath(QStringLiteral("tarnwick")));
    }

    // The same from what `cmake --install` lays out of the build.
    void startCMakeInstalled(const PlaceModule& place, const QString& module)
    {
        ASSERT_EQ(runProcess(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(TARNWICK_BUILD_DIR),
                                                       QStringLiteral("--prefix"), prefix.path()},
                             nullptr, {}, std::chrono::seconds(300)),
                  0);
        const QDir bin(prefix.filePath(QStringLiteral("bin")));
        const QDir modules(bin.filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN)));
        const QDir builtModules(QFileInfo(QStringLiteral(TARNWICK_APP)).dir().filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN)));
        ASSERT_TRUE(QFileInfo::exists(modules.filePath(module))) << "not installed where the program looks";
        ASSERT_TRUE(place(builtModules.filePath(module), modules.filePath(module)));
        app.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        startProgram({}, bin.filePath(QStringLiteral("tarnwick")));
    }

    // Waits for the program to log `logged` and show a new "Tarnwick" window whose text, read as a
    // user reads it, holds `words`; the program must still run.
    void expectSaidInAWindow(const QStringList& before, const QByteArray& logged, const QString& words)
    {
        QByteArray log;
        waitUntil([&] {
            log += app.readAllStandardError();
            return log.contains(logged) || app.state() != QProcess::Running;
        }, 60s);
        ASSERT_EQ(app.state(), QProcess::Running) << "the program died";
        ASSERT_TRUE(log.contains(logged)) << "the module's failure went unnoticed";
        QString dialog;
        ASSERT_TRUE(waitUntil([&] {
            for (const QString& window : windows(QStringLiteral("^Tarnwick$")))
                if (!before.contains(window))
                    dialog = window;
            return !dialog.isEmpty();
        }, 30s)) << "no window says what failed";
        expectSaid(dialog, words);
    }

    // Waits until `window`, read as a user reads it, holds `words`.
    void expectSaid(const QString& window, const QString& words)
    {
        QString said;
        EXPECT_TRUE(waitUntil([&] {
            said = ScreenTextRecognizer::recognize(QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage())
                       .value_or(QString())
                       .simplified();
            return said.contains(words, Qt::CaseInsensitive);
        }, 30s)) << said.toStdString();
    }

    // Text capture, whose module cannot be loaded: the user reads why in a window of its own, in
    // Russian, and the program goes on with nothing half-read on the clipboard.
    void expectTextCaptureRefused(const char* picture)
    {
        const QStringList before = windows(QStringLiteral("^Tarnwick$"));
        captureText(QStringLiteral("Съешь ещё этих булок 2026"));
        expectSaidInAWindow(before, "libtarnwick_recognition.so", QStringLiteral("Не удалось загрузить модуль"));
        if (HasFatalFailure())
            return;
        // Still there for the next command, and nothing half-read on the clipboard once the
        // program has answered after all it had to do.
        const QStringList shown = windows(QStringLiteral("^Tarnwick$"));
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_TRUE(x.ping(shown.first().toUInt())) << "the program does not answer";
        EXPECT_EQ(app.state(), QProcess::Running);
        EXPECT_EQ(x.selectionOwner("CLIPBOARD"), 0u);
        EXPECT_EQ(mapped(recognition), QSet<QString>());
        savePicture(picture);
    }

    // The screen as it is, for a look at it, when $TARNWICK_TEST_PICTURES names a folder.
    static void savePicture(const char* picture)
    {
        if (const QString pictures = qEnvironmentVariable("TARNWICK_TEST_PICTURES"); !pictures.isEmpty())
            QGuiApplication::primaryScreen()->grabWindow(0).save(pictures + '/' + picture + ".png");
    }

    QTemporaryDir prefix;
    const QStringList effects{"libopencv_core", "libopencv_imgproc", "libtarnwick_effects"};
    const QStringList recognition{"libtesseract", "liblept", "libZXing", "libtarnwick_recognition"};
    const QStringList recording{"libavcodec", "libavformat", "libswscale", "libx265", "libopencv_video",
                                "libtarnwick_recording", "libtarnwick_recording_review"};
};

} // namespace tarnwick::test
