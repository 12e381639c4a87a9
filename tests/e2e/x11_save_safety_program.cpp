// The real program where what it keeps must stay whole: its preferences on a disk with four
// kilobytes left or given as a named pipe, a named pipe given as the image to open, and a module of
// its installation whose own dependency was cut short.
#include "EnginesOnDemand.h"
#include "recording/SmallDisk.h"

#include <QSettings>
#include <sys/stat.h>
#include <csignal>

namespace tarnwick::test {
namespace {

const char* const diskVariable = "TARNWICK_TEST_CONFIG_DISK";

class SavedProgram : public EnginesOnDemand {
protected:
    // The panel: the one narrow "Tarnwick" window.
    QString panel()
    {
        for (const QString& w : windows(QStringLiteral("^Tarnwick$")))
            if (geometry(w).width() <= 200)
                return w;
        return {};
    }

    // What the panel says, read as a user reads it.
    QString panelText()
    {
        const QString w = panel();
        if (w.isEmpty())
            return {};
        QImage look = QGuiApplication::primaryScreen()->grabWindow(w.toULongLong()).toImage();
        look = look.scaled(look.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return ScreenTextRecognizer::recognize(look).value_or(QString()).simplified();
    }

    // The tray menu's entry `fromTheEnd` places above its last one, chosen with the keyboard.
    void chooseFromTrayMenu(int fromTheEnd)
    {
        ASSERT_TRUE(openTrayMenu());
        for (int i = 0; i <= fromTheEnd; ++i)
            x.chord({x.keycodeOf(XK_Up)});
        x.chord({x.keycodeOf(XK_Return)});
    }
};

// What QSettings' own INI format reads from `path`, as a new run does: from a copy.
QSettings::SettingsMap keysIn(const QString& path)
{
    QTemporaryDir fresh;
    QFile::copy(path, fresh.filePath("copy.conf"));
    QSettings ini(fresh.filePath("copy.conf"), QSettings::IniFormat);
    QSettings::SettingsMap values;
    for (const QString& key : ini.allKeys())
        values.insert(key, ini.value(key));
    return values;
}

} // namespace

// A user's preferences of some years (56 keys, 13 KB) on a disk with four kilobytes left: the
// taskbar entry is switched from the tray and the program quit. The file keeps every key, and
// the panel said why the change could not be kept.
TEST_F(SavedProgram, PreferencesOnANearlyFullDiskKeepEveryKeyAndThePanelSaysWhy)
{
    const QString disk = qEnvironmentVariable(diskVariable);
    if (disk.isEmpty()) {
        QTemporaryDir parent;
        const int status = runTestOnSmallDisk(parent, parent.filePath("disk"), 256, diskVariable);
        if (status == namespaceRefused)
            GTEST_SKIP() << "no user and mount namespaces for a small disk: " << refusalIn(parent).toStdString();
        EXPECT_EQ(status, 0) << "the run on the small disk failed";
        return;
    }
    const QString file = disk + "/Tarnwick/Tarnwick.conf";
    {
        QTemporaryDir staging;
        QSettings written(staging.filePath("Tarnwick.conf"), QSettings::IniFormat);
        written.setValue("recordingSaveDirectory", "/home/пользователь/Видео");
        written.setValue("recordingCodec", "h264");
        written.setValue("recordingQuality", "high");
        written.setValue("colorCodeFormat", "rgb");
        written.setValue("editorVerticalToolbar", true);
        written.setValue("autoClear", false);
        written.setValue("showsTaskbarIcon", false);
        written.setValue("floatingPanelOrigin", QVariantList{300.0, 200.0});
        for (int i = written.allKeys().size(); i < 56; ++i)
            written.setValue(QStringLiteral("recent/picture%1").arg(i),
                             QStringLiteral("/home/пользователь/Снимки экрана/снимок %1.png").arg(i).repeated(4));
        written.sync();
        ASSERT_TRUE(QDir().mkpath(disk + "/Tarnwick"));
        ASSERT_TRUE(QFile::copy(written.fileName(), file));
    }
    const QSettings::SettingsMap before = keysIn(file);
    ASSERT_EQ(before.size(), 56);
    ASSERT_GT(QFileInfo(file).size(), 8192);
    ASSERT_TRUE(leaveFree(disk, 4096));

    configHome = disk;
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // «Показывать иконку в панели задач», third from the end of the tray menu.
    chooseFromTrayMenu(2);
    QString said;
    EXPECT_TRUE(waitUntil([&] { return (said = panelText()).contains(QStringLiteral("сохранить настройки"), Qt::CaseInsensitive); }, 60s))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("нет места"))) << said.toStdString();
    savePicture("preferences-not-saved");

    // «Завершить Tarnwick», the last entry; an empty series asks nothing.
    chooseFromTrayMenu(0);
    ASSERT_TRUE(app.waitForFinished(60000)) << "the program does not end";
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_EQ(keysIn(file), before);
}

// A named pipe as the preferences file, or a link to one, would hold the start in open() for good,
// before any window and deaf to SIGTERM. It is refused at once: the program starts on its
// defaults and says so in the panel, a preference is switched from the tray, SIGTERM ends it, and
// the pipe is still a pipe, the link a link, with nothing written beside them.
TEST_F(SavedProgram, APipeAsThePreferencesIsRefusedAtOnceAndTheProgramStartsOnItsDefaults)
{
    const QString pipe = home.filePath(QStringLiteral("dotfiles/Tarnwick.conf"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(pipe).path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "a link to a pipe" : "a pipe");
        configHome = home.filePath(linked ? QStringLiteral("linked") : QStringLiteral("piped"));
        const QString file = configHome + QStringLiteral("/Tarnwick/Tarnwick.conf");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
        if (linked) {
            ASSERT_TRUE(QFile::link(pipe, file));
        } else {
            ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        }
        startProgram();
        ASSERT_FALSE(HasFatalFailure()) << "the program did not start";
        QString said;
        EXPECT_TRUE(waitUntil([&] { return (said = panelText()).contains(QStringLiteral("не файл")); }, 60s))
            << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("прочитать файл"))) << said.toStdString();
        savePicture(linked ? "preferences-link-to-pipe" : "preferences-pipe");
        // «Показывать иконку в панели задач», third from the end of the tray menu; then the end a
        // logout brings, which a program held in open() would not hear.
        chooseFromTrayMenu(2);
        ASSERT_TRUE(waitUntil([&] { return !x.keyboardGrabbedElsewhere(); }, 30s)) << "the tray menu stays open";
        ::kill(pid_t(app.processId()), SIGTERM);
        ASSERT_TRUE(app.waitForFinished(60000)) << "the program does not end";
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        struct stat seen {};
        ASSERT_EQ(::lstat(QFile::encodeName(file).constData(), &seen), 0);
        EXPECT_EQ(seen.st_mode & S_IFMT, linked ? S_IFLNK : S_IFIFO);
        ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &seen), 0);
        EXPECT_EQ(seen.st_mode & S_IFMT, S_IFIFO);
        for (const QString& folder : {QFileInfo(file).path(), QFileInfo(pipe).path()})
            EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                      QStringList{QStringLiteral("Tarnwick.conf")});
    }
}

// A named pipe opened as an image would hold the program in open() for good: it is refused at
// once, as a folder is, and the program goes on answering, to another start and to SIGTERM.
TEST_F(SavedProgram, APipeGivenAsTheImageIsRefusedAtOnceAndTheProgramStillAnswers)
{
    const QString pipe = home.filePath(QStringLiteral("x.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    app.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    startProgram({QStringLiteral("--open-image"), pipe});
    ASSERT_FALSE(HasFatalFailure());
    QString alert;
    ASSERT_TRUE(waitUntil([&] {
        for (const QString& w : windows(QStringLiteral("^Tarnwick$")))
            if (geometry(w).width() > 200)
                alert = w;
        return !alert.isEmpty();
    }, 30s)) << "nothing said";
    expectSaid(alert, QStringLiteral("Не удалось открыть изображение"));
    savePicture("pipe-refused");
    activateWindow(alert);
    x.chord({x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return windows(QStringLiteral("^Tarnwick$")).size() == 1; }, 30s)) << "the alert stays";

    // A second start hands its image over and ends; the running program opens it.
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString image = home.filePath(QStringLiteral("real.png"));
    ASSERT_TRUE(picture.save(image));
    QProcess second;
    second.setProcessEnvironment(app.processEnvironment());
    second.start(QStringLiteral(TARNWICK_APP), {QStringLiteral("--open-image"), image});
    ASSERT_TRUE(second.waitForFinished(30000)) << "the running program does not take the image";
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] { return !windows(QStringLiteral("^Tarnwick · A$")).isEmpty(); }, 30s));

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(30000)) << "SIGTERM is not acted on";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

// The recording module needs the review's module from its folder; that one cut short would be
// mapped past its end by the loader and kill the program at «Запись экрана…». It is refused like a
// missing module, the program goes on, and none of the two is mapped: so in a copied layout and
// in what `cmake --install` lays out.
TEST_F(SavedProgram, ADependencyModuleCutShortIsRefusedWithTheModulesSentence)
{
    for (const bool cmakeInstall : {false, true}) {
        SCOPED_TRACE(cmakeInstall ? "cmake --install" : "copied");
        const QString review = QStringLiteral("libtarnwick_recording_review.so");
        if (cmakeInstall)
            startCMakeInstalled(cutTo(300000), review);
        else
            startInstalled(cutTo(300000), review);
        ASSERT_FALSE(HasFatalFailure());
        const QStringList before = windows(QStringLiteral("^Tarnwick$"));
        // «Запись экрана…», the tray menu's sixth command.
        ASSERT_TRUE(openTrayMenu());
        for (int i = 0; i < 6; ++i)
            x.chord({x.keycodeOf(XK_Down)});
        x.chord({x.keycodeOf(XK_Return)});
        expectSaidInAWindow(before, review.toUtf8(), QStringLiteral("Не удалось загрузить модуль"));
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(mapped({"libtarnwick_recording", "libtarnwick_recording_review"}), QSet<QString>());
        EXPECT_TRUE(windows(QStringLiteral("^Tarnwick · Запись экрана$")).isEmpty());
        app.kill();
        app.waitForFinished(30000);
        QDir(prefix.path()).removeRecursively();
        QDir().mkpath(prefix.path());
    }
}

} // namespace tarnwick::test
