#include "ShellFixture.h"
#include "support/Xdotool.h"
#include "series/AppModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <X11/keysym.h>
#include <algorithm>
#include <csignal>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

// The first visible window found by `search` whose size is `size`; a null rectangle without one.
QRect windowOfSize(const QStringList& search, QSize size)
{
    for (const QString& w : visibleWindows(search))
        if (const QRect r = windowGeometry(w); r.size() == size)
            return r;
    return {};
}

// Our icon, docked in the tray host.
QRect trayIcon()
{
    for (const QString& w : visibleWindows({"--class", "trayer"}))
        if (const QRect r = windowGeometry(w); r.width() >= 16 && r.width() < 200)
            return r;
    return {};
}

QStringList workingFolders(const QString& cache)
{
    return QDir(cache + "/tarnwick").entryList({"Tarnwick-video-*"}, QDir::Dirs);
}

// How far the video of a recording in progress reaches in its complete fragments, in seconds.
double secondsOnDisk(const QString& file)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "quiet", "-select_streams", "v:0", "-show_entries", "packet=pts_time,duration_time",
                              "-of", "csv=p=0", file});
    double seconds = 0;
    if (!ffprobe.waitForFinished(60000))
        return seconds;
    for (const QString& line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.trimmed().split(u',');
        seconds = std::max(seconds, fields.value(0).toDouble() + fields.value(1).toDouble());
    }
    return seconds;
}

} // namespace

// A session ending (logout, shutdown) sends SIGTERM: a recording in review is not the user's to
// lose. The real program records through its tray menu and stop control and is then terminated;
// the next start recovers the recording and says so in the status line.
TEST_F(ShellTest, SigtermDuringTheReviewKeepsTheRecordingForTheNextStart)
{
    // The tray host grows to the icons it docks, so our icon is the host's one small window.
    desktop << new QProcess;
    ASSERT_TRUE(startOpenbox(*desktop.back()));
    desktop << new QProcess;
    desktop.back()->start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                                     QStringLiteral("right"), QStringLiteral("--widthtype"),
                                                     QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("32")});
    ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0; }, 30s));
    const QString cache = dir.filePath("cache");
    const QString saveFolder = dir.filePath("Видео");
    QDir().mkpath(saveFolder);
    QDir().mkpath(dir.filePath("run"));
    QFile::setPermissions(dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    {
        QSettings appSettings(dir.filePath("config/Tarnwick/Tarnwick.conf"), QSettings::IniFormat);
        appSettings.setValue("recordingCodec", "h264");
        appSettings.setValue("recordingSaveDirectory", saveFolder);
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    environment.insert("XDG_CACHE_HOME", cache);
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(TARNWICK_APP), {});
    ASSERT_TRUE(app.waitForStarted(30000));

    // «Запись экрана…», the sixth entry of the tray menu. The host moves the icon as it grows, late
    // on a loaded machine: each click goes where the icon has stayed for a second.
    const auto recorderWindow = [] { return visibleWindows({"--name", "^Tarnwick · Запись экрана$"}); };
    bool menuOpen = false;
    for (int attempt = 0; attempt < 5 && !menuOpen; ++attempt) {
        QRect icon;
        QElapsedTimer still;
        ASSERT_TRUE(waitUntil(
            [&] {
                const QRect now = trayIcon();
                if (now != icon || now.isNull())
                    still.start();
                icon = now;
                return !icon.isNull() && still.elapsed() >= 1000;
            },
            60s))
            << "no tray icon";
        x.click(icon.center().x(), icon.center().y(), 3);
        menuOpen = waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 10s);
    }
    ASSERT_TRUE(menuOpen) << "the tray menu does not open";
    for (int i = 0; i < 6; ++i)
        x.chord({x.keycodeOf(XK_Down)});
    x.chord({x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return !recorderWindow().isEmpty(); }, 30s)) << "no recording window";

    // Enter starts the whole-screen recording; the stop control stops it a second later.
    runProcess("xdotool", {"windowactivate", "--sync", recorderWindow().first()});
    x.chord({x.keycodeOf(XK_Return)});
    QRect control;
    ASSERT_TRUE(waitUntil([&] { return !(control = windowOfSize({"--class", "tarnwick"}, QSize(258, 52))).isNull(); },
                          30s))
        << "no stop control";
    ASSERT_TRUE(waitUntil([&] { return workingFolders(cache).size() == 1; }, 30s));
    const QString folder = cache + "/tarnwick/" + workingFolders(cache).first();
    // A second of video on the disk, however long a loaded machine takes to start and encode it.
    double written = 0;
    ASSERT_TRUE(waitUntil([&] { return (written = secondsOnDisk(folder + "/Recording.mp4")) >= 1.0; }, 120s))
        << written << " s of video";
    x.click(control.x() + 201, control.y() + 26); // the stop button, right in the control
    ASSERT_TRUE(waitUntil([&] { return !recorderWindow().isEmpty(); }, 30s)) << "no review";
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(folder + "/Recording.mp4").size() > 0; }, 30s));
    // The review has the focus, as a user looking at it: the program has shown it, not only mapped it.
    runProcess("xdotool", {"windowactivate", "--sync", recorderWindow().first()});

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    ASSERT_TRUE(QFileInfo::exists(folder + "/Recording.mp4")) << "the recording was deleted";

    // The next start.
    settings.setValue("recordingSaveDirectory", saveFolder);
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    start();
    const QString greeting = model().status();
    ASSERT_TRUE(waitUntil([&] { return model().status() != greeting; }, 30s)) << greeting.toStdString();
    EXPECT_EQ(model().status(), QStringLiteral("Запись после сбоя восстановлена в папку «Видео»"));
    const QStringList saved = QDir(saveFolder).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(saved.first().endsWith(QStringLiteral(" (восстановлено).mp4"))) << saved.first().toStdString();
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-of", "json", "-show_format", QDir(saveFolder).filePath(saved.first())});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QJsonObject format = QJsonDocument::fromJson(probe.readAllStandardOutput()).object()["format"].toObject();
    EXPECT_GE(format["duration"].toString().toDouble(), 1.0);
    EXPECT_TRUE(workingFolders(cache).isEmpty());
}

} // namespace tarnwick::test
