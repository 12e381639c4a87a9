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
namespace {

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

    // The program and its picker laid out as installed, with every module but recognition, which
    // `placeRecognition` puts in place (or not) from the built one; then started from there.
    void startInstalled(const std::function<bool(const QString& built, const QString& installed)>& placeRecognition)
    {
        const QDir bin(prefix.filePath(QStringLiteral("bin")));
        const QDir built = QFileInfo(QStringLiteral(TARNWICK_APP)).dir();
        const QDir modules(bin.filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN)));
        ASSERT_TRUE(QDir().mkpath(bin.path()) && QDir().mkpath(modules.path()));
        for (const QString& program : {QStringLiteral("tarnwick"), QStringLiteral("tarnwick-capture")})
            ASSERT_TRUE(QFile::copy(built.filePath(program), bin.filePath(program)));
        const QDir builtModules(built.filePath(QStringLiteral(TARNWICK_ENGINE_FROM_BIN)));
        for (const QString& module : builtModules.entryList({QStringLiteral("*.so")}, QDir::Files)) {
            if (module != u"libtarnwick_recognition.so") {
                ASSERT_TRUE(QFile::copy(builtModules.filePath(module), modules.filePath(module)));
            }
        }
        const QString recognitionModule = QStringLiteral("libtarnwick_recognition.so");
        ASSERT_TRUE(placeRecognition(builtModules.filePath(recognitionModule), modules.filePath(recognitionModule)));
        app.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        startProgram({}, bin.filePath(QStringLiteral("tarnwick")));
    }

    // Text capture, whose module cannot be loaded: the user reads why in a window of its own, in
    // Russian, and the program goes on with nothing half-read on the clipboard.
    void expectTextCaptureRefused(const char* picture)
    {
        const QStringList before = windows(QStringLiteral("^Tarnwick$"));
        captureText(QStringLiteral("Съешь ещё этих булок 2026"));
        QByteArray log;
        waitUntil([&] {
            log += app.readAllStandardError();
            return log.contains("libtarnwick_recognition.so") || app.state() != QProcess::Running;
        }, 60s);
        ASSERT_EQ(app.state(), QProcess::Running) << "the program died";
        ASSERT_TRUE(log.contains("libtarnwick_recognition.so")) << "the module's failure went unnoticed";
        QString dialog;
        ASSERT_TRUE(waitUntil([&] {
            for (const QString& window : windows(QStringLiteral("^Tarnwick$")))
                if (!before.contains(window))
                    dialog = window;
            return !dialog.isEmpty();
        }, 30s)) << "no window says what failed";
        QString said;
        EXPECT_TRUE(waitUntil([&] {
            said = ScreenTextRecognizer::recognize(QGuiApplication::primaryScreen()->grabWindow(dialog.toULongLong()).toImage())
                       .value_or(QString())
                       .simplified();
            return said.contains(QStringLiteral("Не удалось загрузить модуль"));
        }, 30s)) << said.toStdString();
        // Still there for the next command, and nothing half-read on the clipboard.
        QTest::qWait(500);
        EXPECT_EQ(app.state(), QProcess::Running);
        EXPECT_EQ(x.selectionOwner("CLIPBOARD"), 0u);
        EXPECT_EQ(mapped(recognition), QSet<QString>());
        if (const QString pictures = qEnvironmentVariable("TARNWICK_TEST_PICTURES"); !pictures.isEmpty())
            QGuiApplication::primaryScreen()->grabWindow(0).save(pictures + '/' + picture + ".png");
    }

    QTemporaryDir prefix;
    const QStringList effects{"libopencv_core", "libopencv_imgproc", "libtarnwick_effects"};
    const QStringList recognition{"libtesseract", "liblept", "libZXing", "libtarnwick_recognition"};
    const QStringList recording{"libavcodec", "libavformat", "libswscale", "libx265", "libopencv_video",
                                "libtarnwick_recording", "libtarnwick_recording_review"};
};

TEST_F(EnginesOnDemand, AtRestTheProgramHoldsNoEngineAndTextCaptureAndRecordingBringInTheirOwn)
{
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(mapped(effects + recognition + recording), QSet<QString>());

    captureText(QStringLiteral("Съешь ещё этих булок 2026"));
    QString read;
    ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("CLIPBOARD") != 0; }, 60s)) << "no text on the clipboard";
    read = QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING")));
    EXPECT_EQ(read.trimmed(), QStringLiteral("Съешь ещё этих булок 2026"));
    EXPECT_EQ(mapped(recognition), QSet<QString>(recognition.begin(), recognition.end()));
    EXPECT_EQ(mapped(recording), QSet<QString>()) << "reading text loaded the recorder";

    // "Запись экрана…" is the tray menu's sixth command.
    ASSERT_TRUE(openTrayMenu());
    for (int i = 0; i < 6; ++i)
        x.chord({x.keycodeOf(XK_Down)});
    x.chord({x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return !windows(QStringLiteral("^Tarnwick · Запись экрана$")).isEmpty(); }, 30s))
        << "no recording window";
    const QSet<QString> recorder = mapped(recording);
    for (const char* library : {"libavcodec", "libavformat", "libtarnwick_recording", "libtarnwick_recording_review"})
        EXPECT_TRUE(recorder.contains(QString::fromLatin1(library))) << library;
}

// A module missing from an installation: the command that needs it says so, the rest goes on.
TEST_F(EnginesOnDemand, WithoutItsModuleTextCaptureSaysSoAndTheProgramGoesOn)
{
    startInstalled([](const QString&, const QString&) { return true; });
    ASSERT_FALSE(HasFatalFailure());
    expectTextCaptureRefused("missing-module");
}

// A module cut short (a broken update, a full disk at install) is mapped past the end of its
// file by the loader, which kills the program at the first touch: it is refused like a missing one.
TEST_F(EnginesOnDemand, AModuleCutShortIsRefusedLikeAMissingOneAndTheProgramGoesOn)
{
    startInstalled([](const QString& built, const QString& installed) {
        QFile whole(built), cut(installed);
        return whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly)
               && cut.write(whole.read(100000)) == 100000;
    });
    ASSERT_FALSE(HasFatalFailure());
    expectTextCaptureRefused("cut-module");
}

} // namespace
} // namespace tarnwick::test
