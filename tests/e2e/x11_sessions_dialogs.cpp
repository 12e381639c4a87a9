#include "RealProgram.h"

#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QUrl>
#include <xcb/xcb.h>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

// Each modal dialog and question of the real program met with the capture keys, then
// answered both ways: there is never a second editor, and the editor that opens closes
// on Ctrl+Enter, «Отмена» and its close button, its shot in the series.
class DialogSessions : public RealProgram {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        // Tesseract's worker threads spin for a core each: on a loaded machine one read takes half a minute.
        qputenv("OMP_THREAD_LIMIT", "1");
        startDesktop();
        ASSERT_TRUE(gradientPicture().save(picture));
    }

    QStringList editors() { return windows(QStringLiteral("^Tarnwick · [A-Z]$")); }

    // The series on the clipboard: the last shot's file name ("B.png"), empty before any.
    QString lastShot()
    {
        const QList<QByteArray> uris = xclipRead(QStringLiteral("text/uri-list")).trimmed().split('\n');
        return QUrl::fromEncoded(uris.last().trimmed()).fileName();
    }

    // A window of `title` that holds the keyboard.
    QString waitForFocused(const QString& title)
    {
        QString found;
        waitUntil([&] {
            const QStringList all = windows(title);
            found = all.isEmpty() ? QString() : all.first();
            return !found.isEmpty() && focusedWindow() == found;
        }, 30s);
        return found;
    }

    // The capture keys pressed from another program's window while `dialog` is open: each
    // brings the dialog back in front and starts no capture beside it.
    void pressCaptureKeys(const QString& dialog, const char* what)
    {
        const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> keys{
            {"Ctrl+2", {control, x.keycodeOf(XK_2)}},
            {"Ctrl+Shift+0", {control, shift, x.keycodeOf(XK_0)}},
            {"Ctrl+Shift+Space", {control, shift, x.keycodeOf(XK_space)}},
        };
        for (const auto& [name, chord] : keys) {
            activateWindow(QString::number(chat));
            ASSERT_TRUE(waitUntil([&] { return focusedWindow() == QString::number(chat); }, 10s)) << what;
            x.chord(chord);
            waitUntil([&] { return x.keyboardGrabbedElsewhere() || focusedWindow() == dialog; }, 30s);
            if (x.keyboardGrabbedElsewhere()) {
                ADD_FAILURE() << name << " started a capture beside " << what;
                // Ends it, so the rest of the test still sees what the key left behind.
                x.chord({x.keycodeOf(XK_Escape)});
                waitUntil([&] { return !x.keyboardGrabbedElsewhere(); }, 10s);
            } else {
                EXPECT_EQ(focusedWindow(), dialog) << name << " did not bring " << what << " forward";
            }
            EXPECT_LE(editors().size(), 1) << name << " beside " << what;
        }
    }

    // Ctrl+2 and a drag; the editor it opens.
    QString captureArea()
    {
        x.chord({control, x.keycodeOf(XK_2)});
        if (!waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s)) {
            ADD_FAILURE() << "Ctrl+2 started no capture";
            return {};
        }
        x.drag(650, 350, 1050, 650);
        return waitForEditor();
    }

    QString waitForEditor()
    {
        QStringList found;
        if (!waitUntil([&] { return !(found = editors()).isEmpty(); }, 30s)) {
            ADD_FAILURE() << "no editor";
            return {};
        }
        EXPECT_EQ(found.size(), 1) << "two editors";
        return found.first();
    }

    enum class Close { ctrlEnter, cancel, closeButton };

    // Closes the only editor as a user does and waits for it to go; a shot saved is the
    // series' last on the clipboard.
    void closeEditor(const QString& editor, Close how, const QString& savedAs = {})
    {
        ASSERT_FALSE(editor.isEmpty());
        ASSERT_EQ(editors(), QStringList{editor}) << "two editors";
        activateWindow(editor);
        switch (how) {
        case Close::ctrlEnter: x.chord({control, x.keycodeOf(XK_Return)}); break;
        case Close::closeButton: x.closeWindow(editor.toUInt()); break;
        case Close::cancel: {
            // In the header, along the top.
            const std::optional<QPoint> cancel =
                findWord(editor, QStringLiteral("Отмена"), QRect(0, 0, geometry(editor).width(), 60));
            ASSERT_TRUE(cancel) << "no «Отмена» in the editor";
            singleClick(cancel->x(), cancel->y());
            break;
        }
        }
        EXPECT_TRUE(waitUntil([&] { return editors().isEmpty(); }, 30s)) << "the editor does not close";
        if (!savedAs.isEmpty()) {
            EXPECT_TRUE(waitUntil([&] { return lastShot() == savedAs; }, 30s)) << "its shot is not in the series";
        }
    }

    // Opens the file dialog of the tray menu's entry `upward` places above its end, presses the
    // capture keys in it (unless told not to), and answers it with the path `typed`, or cancels
    // it with Escape.
    void answerFileDialog(int upward, const QString& title, const char* what, const QString& typed, bool keys = true)
    {
        trayEntry(upward);
        const QString dialog = waitForFocused(title);
        ASSERT_FALSE(dialog.isEmpty()) << what;
        if (keys)
            pressCaptureKeys(dialog, what);
        if (typed.isEmpty()) {
            x.chord({x.keycodeOf(XK_Escape)});
        } else {
            // The program has handled the focus it was given before the path is typed: typed into
            // a dialog Qt does not yet take as active, the path is rewritten by its completion.
            ASSERT_TRUE(x.ping(dialog.toUInt())) << what << " does not answer";
            typeText(typed, 10);
            x.chord({x.keycodeOf(XK_Return)});
        }
        // Qt's dialog answers a path it cannot take with a box of its own, under the same title.
        QStringList still;
        ASSERT_TRUE(waitUntil([&] { return (still = windows(title)).isEmpty(); }, 30s))
            << what << " stays open" << (still.size() > 1 ? ": it refused the path typed into it" : "");
    }

    // Starts the program with shot A in its series.
    void startWithOneShot()
    {
        startProgram({QStringLiteral("--open-image"), picture});
        if (!HasFatalFailure())
            closeEditor(waitForEditor(), Close::ctrlEnter, QStringLiteral("A.png"));
    }

    QString picture = home.filePath(QStringLiteral("picture.png"));
};

TEST_F(DialogSessions, TheOpenImageDialog)
{
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // «Открыть изображение…», answered with a file.
    answerFileDialog(6, QStringLiteral("^Открыть изображение$"), "the open image dialog", picture);
    ASSERT_FALSE(HasFatalFailure());
    closeEditor(waitForEditor(), Close::ctrlEnter, QStringLiteral("A.png"));

    // Cancelled: the keys start captures again.
    answerFileDialog(6, QStringLiteral("^Открыть изображение$"), "the open image dialog", {});
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(editors().isEmpty());
    closeEditor(captureArea(), Close::cancel);
    closeEditor(captureArea(), Close::closeButton, QStringLiteral("B.png"));
}

// «Открыть изображение…» on a picture that takes a while to read, Ctrl+2 at once, a drag and
// Ctrl+Enter: the picture opens after the capture, in an editor of its own under the next letter.
TEST_F(DialogSessions, AnImageStillBeingReadWhenACaptureBeginsOpensAfterIt)
{
    // 8000 × 8000 pixels, the most a shot may have: its read takes the best part of a second.
    const QColor colour(20, 120, 90);
    const QString large = home.filePath(QStringLiteral("large.png"));
    {
        QImage big(8000, 8000, QImage::Format_RGB32);
        big.fill(colour);
        ASSERT_TRUE(big.save(large, nullptr, 9));
    }
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // The threads that carry the program's own name: the GUI thread, and those it starts for
    // work off it, such as the read of a file.
    const auto ownThreads = [&] {
        QSet<QString> found;
        const QDir task(QStringLiteral("/proc/%1/task").arg(app.processId()));
        for (const QString& id : task.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(task.filePath(id + QStringLiteral("/comm")));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "tarnwick")
                found << id;
        }
        return found;
    };
    // Should the read win the race, the picture's editor is in front before Ctrl+2 and the try
    // is made again.
    QString capture;
    for (int attempt = 0; attempt < 3 && capture.isEmpty(); ++attempt) {
        const QSet<QString> before = ownThreads();
        answerFileDialog(6, QStringLiteral("^Открыть изображение$"), "the open image dialog", large, false);
        ASSERT_FALSE(HasFatalFailure());
        QSet<QString> reading;
        ASSERT_TRUE(waitUntil([&] { return !(reading = ownThreads() - before).isEmpty() || !editors().isEmpty(); }, 60s))
            << "the picture is never read";
        x.chord({control, x.keycodeOf(XK_2)});
        ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere() || !editors().isEmpty(); }, 60s))
            << "Ctrl+2 did nothing";
        if (!x.keyboardGrabbedElsewhere()) {
            closeEditor(waitForEditor(), Close::cancel);
            continue;
        }
        // The read ends while the user is still choosing the area.
        ASSERT_TRUE(waitUntil([&] { return !ownThreads().intersects(reading); }, 60s)) << "the read never ends";
        x.drag(650, 350, 1050, 650);
        capture = waitForEditor();
    }
    ASSERT_FALSE(capture.isEmpty()) << "the picture was read before Ctrl+2 every time";
    EXPECT_EQ(editors(), QStringList{capture});
    activateWindow(capture);
    x.chord({control, x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return lastShot() == QStringLiteral("A.png"); }, 60s)) << "the capture is not in the series";
    // Then the picture, under the next letter.
    QStringList opened;
    ASSERT_TRUE(waitUntil([&] {
        opened = windows(QStringLiteral("^Tarnwick · B$"));
        return !opened.isEmpty();
    }, 60s)) << "the opened picture vanished";
    EXPECT_EQ(editors(), opened);
    const QRect frame = geometry(opened.first());
    QColor centre;
    EXPECT_TRUE(waitUntil([&] {
        const QImage look = QGuiApplication::primaryScreen()->grabWindow(opened.first().toULongLong()).toImage();
        centre = look.pixelColor(look.width() / 2, look.height() / 2);
        return std::abs(centre.red() - colour.red()) + std::abs(centre.green() - colour.green())
            + std::abs(centre.blue() - colour.blue()) < 12;
    }, 60s)) << "the editor shows " << qPrintable(centre.name()) << " in its middle, " << frame.width() << " wide";
}

TEST_F(DialogSessions, TheExportFolderDialog)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    const QString target = home.filePath(QStringLiteral("exported"));
    ASSERT_TRUE(QDir().mkpath(target));
    // «Сохранить серию в папку…», answered with a folder.
    answerFileDialog(5, QStringLiteral("^Сохранить серию$"), "the export folder dialog", target);
    // A dialog left open would hold every later key and click.
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(waitUntil([&] { return QDir(target).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() == 1; }, 30s))
        << "the series was not saved";
    closeEditor(captureArea(), Close::ctrlEnter, QStringLiteral("B.png"));

    answerFileDialog(5, QStringLiteral("^Сохранить серию$"), "the export folder dialog", {});
    ASSERT_FALSE(HasFatalFailure());
    closeEditor(captureArea(), Close::closeButton, QStringLiteral("C.png"));
}

TEST_F(DialogSessions, TheQuitQuestionOverAnOpenEditor)
{
    startProgram({QStringLiteral("--open-image"), picture});
    ASSERT_FALSE(HasFatalFailure());
    const QString editor = waitForEditor();
    // «Завершить Tarnwick», kept with «Остаться».
    trayEntry(1);
    QString box = waitForQuestion();
    ASSERT_FALSE(box.isEmpty());
    pressCaptureKeys(box, "the quit question");
    x.chord({x.keycodeOf(XK_Escape)});
    ASSERT_TRUE(waitUntil([&] { return question().isEmpty(); }, 30s));
    closeEditor(editor, Close::closeButton, QStringLiteral("A.png"));

    // Over a new editor, answered «Завершить»: the program ends.
    const QString next = captureArea();
    ASSERT_FALSE(next.isEmpty());
    trayEntry(1);
    box = waitForQuestion();
    ASSERT_FALSE(box.isEmpty());
    pressCaptureKeys(box, "the quit question");
    const std::optional<QPoint> quit = findWord(box, QStringLiteral("Завершить"));
    ASSERT_TRUE(quit);
    singleClick(quit->x(), quit->y());
    EXPECT_TRUE(waitUntil([&] { return app.state() == QProcess::NotRunning; }, 30s));
}

TEST_F(DialogSessions, TheClearQuestionStepsAsideForTheOneEditor)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_FALSE(askToClear().isEmpty());
    // The question belongs to the panel, which goes away for a capture.
    closeEditor(captureArea(), Close::ctrlEnter, QStringLiteral("B.png"));
    QString box;
    ASSERT_TRUE(waitUntil([&] { return !(box = question()).isEmpty(); }, 30s)) << "the question did not come back";
    x.chord({x.keycodeOf(XK_Escape)});
    ASSERT_TRUE(waitUntil([&] { return question().isEmpty(); }, 30s));
    closeEditor(captureArea(), Close::closeButton, QStringLiteral("C.png"));
}

TEST_F(DialogSessions, TheAboutBoxAndThePermissionWindow)
{
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // «О Tarnwick» in the panel's menu, fourth from its end.
    ASSERT_TRUE(openPanelMenu());
    for (int i = 0; i < 2; ++i)
        x.chord({x.keycodeOf(XK_Up)});
    x.chord({x.keycodeOf(XK_Return)});
    const QString box = waitForQuestion();
    ASSERT_FALSE(box.isEmpty());
    pressCaptureKeys(box, "the about box");
    x.chord({x.keycodeOf(XK_Escape)});
    ASSERT_TRUE(waitUntil([&] { return question().isEmpty(); }, 30s));

    // «Разрешения…» is a window of its own, which a capture closes.
    trayEntry(2);
    ASSERT_FALSE(waitForFocused(QStringLiteral("^Tarnwick · Разрешения$")).isEmpty());
    closeEditor(captureArea(), Close::ctrlEnter, QStringLiteral("A.png"));
}

TEST_F(DialogSessions, TheRecordingsSaveDialog)
{
    {
        QSettings settings(home.filePath(QStringLiteral("config/Tarnwick/Tarnwick.conf")), QSettings::IniFormat);
        settings.setValue("recordingCodec", "h264");
    }
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    // «Запись экрана…»; Return records the whole screen, the stop control ends it a moment later.
    trayEntry(7);
    const QString recorder = waitForFocused(QStringLiteral("^Tarnwick · Запись экрана$"));
    ASSERT_FALSE(recorder.isEmpty());
    x.chord({x.keycodeOf(XK_Return)});
    QStringList stopControl;
    ASSERT_TRUE(waitUntil([&] {
        stopControl.clear();
        for (const QString& w : visibleWindows({"--class", "tarnwick"}))
            if (geometry(w).size() == QSize(258, 52))
                stopControl << w;
        return !stopControl.isEmpty();
    }, 60s)) << "no stop control";
    const QDir cache(home.filePath(QStringLiteral("cache/tarnwick")));
    // Frames on the disk, however long a loaded machine takes to start and encode them.
    ASSERT_TRUE(waitUntil([&] {
        const QStringList runs = cache.entryList({"Tarnwick-video-*"}, QDir::Dirs);
        QByteArray packets;
        return !runs.isEmpty()
            && runProcess(QStringLiteral("ffprobe"), {"-v", "quiet", "-select_streams", "v:0", "-show_entries",
                                                     "packet=pts_time", "-of", "csv=p=0",
                                                     cache.filePath(runs.first() + "/Recording.mp4")},
                          &packets, {}, 60s) == 0
            && !packets.trimmed().isEmpty();
    }, 120s)) << "nothing recorded";
    const QRect stop = geometry(stopControl.first());
    x.click(stop.x() + 201, stop.y() + 26);
    QStringList review;
    ASSERT_TRUE(waitUntil([&] { return !(review = windows(QStringLiteral("^Tarnwick · Запись экрана$"))).isEmpty(); }, 60s))
        << "no review";

    const QString saved = home.filePath(QStringLiteral("recording.mp4"));
    for (const bool accept : {false, true}) {
        activateWindow(review.first());
        ASSERT_TRUE(waitUntil([&] { return focusedWindow() == review.first(); }, 30s));
        x.chord({control, x.keycodeOf(XK_s)});
        const QString dialog = waitForFocused(QStringLiteral("^Сохранить запись$"));
        ASSERT_FALSE(dialog.isEmpty()) << accept;
        pressCaptureKeys(dialog, "the recording's save dialog");
        if (accept) {
            // The proposed name is selected: the path typed replaces it.
            ASSERT_TRUE(x.ping(dialog.toUInt())) << "the recording's save dialog does not answer";
            typeText(saved, 10);
            x.chord({x.keycodeOf(XK_Return)});
        } else {
            x.chord({x.keycodeOf(XK_Escape)});
        }
        ASSERT_TRUE(waitUntil([&] { return windows(QStringLiteral("^Сохранить запись$")).isEmpty(); }, 30s));
    }
    EXPECT_TRUE(waitUntil([&] { return QFileInfo(saved).size() > 0; }, 120s)) << "the recording was not saved";
    ASSERT_TRUE(waitUntil([&] { return windows(QStringLiteral("^Tarnwick · Запись экрана$")).isEmpty(); }, 60s))
        << "the recorder stays after saving";
    closeEditor(captureArea(), Close::ctrlEnter, QStringLiteral("A.png"));
}

} // namespace
} // namespace tarnwick::test
