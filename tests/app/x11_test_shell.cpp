#include "ShellFixture.h"

#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelMenu.h"
#include "panels/FloatingPanelView.h"
#include "panels/PermissionSetupView.h"
#include "panels/ShortcutGuideView.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <csignal>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

template <typename Window>
bool windowShown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<Window*>(w) && w->isVisible())
            return true;
    return false;
}

Screenshot grey(QSize size = {40, 30})
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    return Screenshot::make(image, 1);
}

TEST_F(ShellTest, TrayMenuListsTheCommandsWithLinuxKeysAndEachRunsItsAction)
{
    startDesktop();
    start();
    QMenu* menu = shell->trayMenu();
    ASSERT_TRUE(menu && shell->tray()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return shell->tray()->geometry().isValid(); }, 30s)) << "the tray host took the icon";
    QStringList items;
    for (QAction* a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("—") : a->text() + u' ' + a->shortcut().toString()).trimmed();
    EXPECT_EQ(items, (QStringList{"Показать Tarnwick", "Новый снимок Ctrl+2", "Снимок выбранного окна Ctrl+Shift+Space",
                                  "Снимок со скроллом…", "Скопировать текст с экрана Ctrl+Shift+0", "Запись экрана…",
                                  "Открыть изображение…", "Сохранить серию в папку…", "—", "Горячие клавиши…",
                                  "Показывать иконку в панели задач", "Разрешения…", "—", "Завершить Tarnwick Ctrl+Q"}));

    model().captureScrollingAction = [this] { log << QStringLiteral("scroll"); };
    shell->recorder.start = [this] { log << QStringLiteral("record"); };
    model().save(grey(), {}, false);
    shell->panel()->hide();
    const auto logged = [this](const char* entry) { return [this, entry] { return log.contains(QString::fromUtf8(entry)); }; };
    const auto captured = [this](const char* status) {
        return [this, status] { return model().status() == QString::fromUtf8(status) && model().busy(); };
    };
    const std::vector<std::pair<QString, std::function<bool()>>> table{
        {"Показать Tarnwick", [this] { return shell->panel()->isVisible(); }},
        {"Новый снимок", captured("Выделите область снимка")},
        {"Снимок выбранного окна", captured("Выберите окно щелчком. Esc — отмена")},
        {"Снимок со скроллом…", logged("scroll")},
        {"Скопировать текст с экрана", captured("Выделите область с текстом. Esc — отмена")},
        {"Запись экрана…", logged("record")},
        {"Открыть изображение…", logged("open")},
        {"Сохранить серию в папку…", logged("folder: Сохранить серию")},
        {"Горячие клавиши…", &windowShown<ShortcutGuideView>},
        {"Показывать иконку в панели задач",
         [this] {
             return settings.value("showsTaskbarIcon").toBool() && shell->trayMenu()->actions()[10]->isChecked()
                 && shell->panel()->view().menu().action(FloatingPanelMenu::Entry::taskbarIcon)->isChecked()
                 && (shell->panel()->windowFlags() & Qt::WindowType_Mask) == Qt::Window;
         }},
        {"Разрешения…", &windowShown<PermissionSetupView>},
    };
    for (const auto& [title, done] : table) {
        const QList<QAction*> actions = menu->actions();
        QAction* item = *std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == title; });
        item->trigger();
        EXPECT_TRUE(waitUntil(done)) << title.toStdString();
        // Each capture ran the picker, whose Escape ended it.
        ASSERT_TRUE(waitUntil([&] { return idle(); }, 30s)) << title.toStdString();
    }
    EXPECT_EQ(pickerRuns().size(), 3);
    EXPECT_EQ(model().status(), QStringLiteral("Отменено. Буфер сохранён"));
}

TEST_F(ShellTest, TakenTextKeySaysSoWhileTheOtherKeysCapture)
{
    const std::uint8_t control = x.keycodeOf(XK_Control_L), shift = x.keycodeOf(XK_Shift_L), zero = x.keycodeOf(XK_0),
                       two = x.keycodeOf(XK_2);
    xcb_grab_key(x.connection(), 1, x.root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT, zero, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    x.sync();
    start();
    EXPECT_EQ(model().status(), QStringLiteral("Ctrl+Shift+0 недоступно. Текст можно скопировать через меню Tarnwick"));
    x.chord({control, two});
    EXPECT_TRUE(waitUntil([&] { return model().status() == QStringLiteral("Выделите область снимка"); }));
    x.chord({control, shift, zero});
    EXPECT_TRUE(waitUntil([&] { return pickerRuns().size() == 1 && idle(); }, 30s));
    EXPECT_EQ(model().status(), QStringLiteral("Захват отменён. Серия сохранена."));
}

TEST_F(ShellTest, AWaylandSessionSaysThatThereAreNoGlobalKeys)
{
    qputenv("XDG_SESSION_TYPE", "wayland");
    start();
    qunsetenv("XDG_SESSION_TYPE");
    EXPECT_EQ(model().status(),
              QStringLiteral("В сеансе Wayland глобальные сочетания клавиш не работают: пользуйтесь меню Tarnwick."));
}

TEST_F(ShellTest, QuitAsksOnlyWithWorkToLoseAndStaysWhenTheUserSaysSo)
{
    start();
    EXPECT_TRUE(shell->shouldQuit());
    EXPECT_TRUE(log.isEmpty()) << "an empty series quits at once";

    model().save(grey(), {}, false);
    EXPECT_FALSE(shell->shouldQuit());
    // No clipboard manager runs here: the prepared paste goes with the program, and the question says so.
    EXPECT_EQ(log, QStringList{"Несохранённая запись видео, текущая серия и незавершённая разметка будут потеряны. "
                               "Подготовленная вставка исчезнет из буфера обмена вместе с Tarnwick."});
    quitAnswer = true;
    EXPECT_TRUE(shell->shouldQuit());

    shell->recorder.exists = [] { return true; };
    shell->recorder.canQuit = [] { return false; };
    shell->recorder.present = [this] { log << QStringLiteral("recorder"); };
    log.clear();
    EXPECT_FALSE(shell->shouldQuit());
    EXPECT_EQ(log, (QStringList{"recorder", "beep"}));
}

// From the area selection to the end of the capture the panel would be recorded: showing it
// brings the recorder forward instead; beside the recorder's settings it shows.
TEST_F(ShellTest, ThePanelStaysAwayOnlyWhileTheRecorderHoldsTheScreen)
{
    start();
    bool holds = true;
    shell->recorder.exists = [] { return true; };
    shell->recorder.holdsScreen = [&] { return holds; };
    shell->recorder.present = [this] { log << QStringLiteral("recorder"); };
    shell->panel()->hide();
    for (const auto& show : std::vector<std::function<void()>>{[&] { shell->showPanel(); }, [&] { shell->reopen(); }}) {
        show();
        EXPECT_FALSE(shell->panel()->isVisible());
    }
    EXPECT_EQ(log, (QStringList{"recorder", "recorder"}));
    EXPECT_FALSE(model().busy()) << "the series stays free beside a recording";

    holds = false;
    log.clear();
    shell->showPanel();
    EXPECT_TRUE(waitUntil([&] { return shell->panel()->isVisible(); }));
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(ShellTest, PasteGoesToTheLastWindowOfAnotherProgram)
{
    const std::uint32_t chat = x.createWindow(4242, "chat", "Chat");
    x.setActiveWindow(chat);
    start();
    model().save(grey(), {}, false);
    // Our own windows becoming active do not count.
    x.setActiveWindow(std::uint32_t(shell->panel()->winId()));
    x.becomeWindowManager();
    QCoreApplication::processEvents();
    model().pasteAction();
    std::optional<X11Client::ActivationRequest> request;
    ASSERT_TRUE(waitUntil([&] { return (request = x.activationRequest(10ms)).has_value(); }));
    EXPECT_EQ(request->window, chat);
}

// A home of its own for the real program: its runtime, cache and configuration folders.
struct ProgramHome {
    ProgramHome()
    {
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), runtime.filePath(QStringLiteral("cache")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime.filePath(QStringLiteral("config")));
    }
    // Starts it here; true once it has announced itself as the running instance.
    bool start(QProcess& program, const QStringList& arguments = {})
    {
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TARNWICK_APP), arguments);
        return waitUntil([&] { return QDir(privateRoot).entryList({"instance-*"}, QDir::System).size() == 1; }, 30s);
    }
    QTemporaryDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString privateRoot = runtime.filePath(QStringLiteral("tarnwick"));
};

TEST(ShellProcess, SecondStartHandsItsImageOverAndSigtermLeavesOnlyThePreparedSeries)
{
    ProgramHome home;
    QTemporaryDir& runtime = home.runtime;
    const QString& privateRoot = home.privateRoot;
    QImage(200, 100, QImage::Format_RGB32).save(runtime.filePath(QStringLiteral("shot.png")));

    // The window manager first, so that it takes in the editor.
    QProcess openbox;
    ASSERT_TRUE(startOpenbox(openbox));
    QProcess first;
    ASSERT_TRUE(home.start(first));

    QProcess second;
    second.setProcessEnvironment(home.environment);
    second.setWorkingDirectory(runtime.path());
    second.start(QStringLiteral(TARNWICK_APP), {QStringLiteral("--open-image"), QStringLiteral("shot.png")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    // The first one opened the image in its editor; Ctrl+Enter puts it into the series, ready for Ctrl+V.
    // Mapped, so the key goes to it: a window found before the window manager shows it may miss it.
    QByteArray editor;
    ASSERT_TRUE(waitUntil([&] {
        return runProcess("xdotool", {"search", "--onlyvisible", "--name", "Tarnwick · A"}, &editor) == 0;
    }, 30s));
    EXPECT_EQ(runProcess("xdotool", {"windowactivate", "--sync", QString::fromLatin1(editor.trimmed().split('\n').first()), "key", "ctrl+Return"},
                         nullptr, {}, 30s),
              0);
    EXPECT_TRUE(waitUntil([&] { return xclipTargets().contains(QStringLiteral("com.tarnwick.series-token")); }, 120s));
    const QDir clipboardFolder(runtime.filePath(QStringLiteral("cache/tarnwick/Tarnwick-Clipboard")));
    EXPECT_EQ(clipboardFolder.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    // A link to a folder outside is nobody's business at quitting.
    QTemporaryDir outside;
    ASSERT_TRUE(QFile(outside.filePath(QStringLiteral("keep.txt"))).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(outside.path(), clipboardFolder.filePath(QStringLiteral("outside"))));

    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    // The prepared series stays for the chat that may read it later; the run's own files go.
    EXPECT_EQ(clipboardFolder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks).size(), 1);
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files), QStringList{"keep.txt"});
    EXPECT_EQ(QDir(privateRoot).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList());
    openbox.kill();
    openbox.waitForFinished();
}

// On a busy machine the running instance may take seconds to answer (here: held still for
// two). A second start waits for it and ends, rather than take over its socket and run beside it.
TEST(ShellProcess, ASecondStartWaitsForABusyFirstOneAndEnds)
{
    ProgramHome home;
    const QString image = home.runtime.filePath(QStringLiteral("shot.png"));
    QImage(200, 100, QImage::Format_RGB32).save(image);

    QProcess first;
    ASSERT_TRUE(home.start(first));
    ::kill(pid_t(first.processId()), SIGSTOP);
    QProcess second;
    second.setProcessEnvironment(home.environment);
    second.start(QStringLiteral(TARNWICK_APP), {QStringLiteral("--open-image"), image});
    const bool endedWhileHeld = second.waitForFinished(2000);
    ::kill(pid_t(first.processId()), SIGCONT);
    EXPECT_FALSE(endedWhileHeld) << "the second start gave up on a live instance";
    ASSERT_TRUE(second.waitForFinished(30000)) << "the second start runs beside the first";
    EXPECT_EQ(second.exitCode(), 0);
    // The first one took the image.
    EXPECT_TRUE(waitUntil([&] { return runProcess("xdotool", {"search", "--name", "Tarnwick · A"}) == 0; }, 30s));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

// A second start that waits for a busy instance holds nothing: a signal ends it at once, not
// once its wait for the answer is over.
TEST(ShellProcess, ASecondStartWaitingForABusyFirstOneEndsOnSigterm)
{
    ProgramHome home;
    QProcess first;
    ASSERT_TRUE(home.start(first));
    ::kill(pid_t(first.processId()), SIGSTOP);
    QProcess second;
    second.setProcessEnvironment(home.environment);
    second.start(QStringLiteral(TARNWICK_APP), {});
    ASSERT_TRUE(second.waitForStarted());
    // Into its wait: it has connected and sent its arguments by now.
    EXPECT_FALSE(second.waitForFinished(1500));
    ::kill(pid_t(second.processId()), SIGTERM);
    const bool endedWhileHeld = second.waitForFinished(10000);
    ::kill(pid_t(first.processId()), SIGCONT);
    EXPECT_TRUE(endedWhileHeld) << "the second start kept waiting for the answer";
    second.waitForFinished(30000);
    // The first one, held meanwhile, runs on.
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

// A logout can come while the program is still starting: the run ends as cleanly as later on.
TEST(ShellProcess, SigtermRightAfterTheStartEndsTheRunCleanly)
{
    ProgramHome home;
    const QString& privateRoot = home.privateRoot;
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE(run);
        QProcess program;
        // The instance announces itself first of all that a second start or a logout sees.
        ASSERT_TRUE(home.start(program));
        ::kill(pid_t(program.processId()), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "ended by the signal itself";
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(QDir(privateRoot).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList());
    }
}

} // namespace
