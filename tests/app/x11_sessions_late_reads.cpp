#include "ShellFixture.h"
#include "support/HeldReads.h"

#include "editor/model/EditorImageImporter.h"
#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "app/ScrollingCaptureController.h"
#include "capture/RecordingAreaSelector.h"

#include <QAction>
#include <QCoreApplication>
#include <X11/keysym.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// An image the user opened is read off the GUI thread while they go on: whatever began
// meanwhile, it opens in its own editor once that has ended, in the order the files were
// asked, and a file that cannot be read is said where it can be seen.
class LateReads : public ShellTest {
protected:
    void SetUp() override
    {
        startDesktop();
        ASSERT_TRUE(picture(64, 48, Qt::darkCyan).save(captured));
        ASSERT_TRUE(picture(90, 70, Qt::darkMagenta).save(opened));
        ASSERT_TRUE(picture(30, 20, Qt::darkYellow).save(second));
        // The picker hands back `captured` once the test lets the user finish.
        qputenv("FAKE_PICK", QFile::encodeName(captured));
        qputenv("FAKE_PICK_WAIT", QFile::encodeName(pickDone));
        readImage = [reads = reads](const QString& path) {
            return reads->read(path, [&path] { return CapturedImage::read(path); });
        };
        start();
    }
    void TearDown() override
    {
        qunsetenv("FAKE_PICK_WAIT");
        // A read still held would outlive the test's files.
        reads->releaseAll();
    }

    static QImage picture(int width, int height, QColor color)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }

    // Lets the read of `path` end and waits until it has.
    void finishRead(const QString& path)
    {
        reads->release(path);
        ASSERT_TRUE(waitUntil([&] { return reads->done(path); }, 30s)) << qPrintable(path);
    }

    // The editor open now shows a shot of `size`.
    bool editorOn(QSize size)
    {
        return shell->editor() && shell->editor()->state().shot().image.size() == size;
    }

    // Waits for the editor of `size`, checks its letter and saves it into the series.
    void saveEditor(QSize size, const QString& label)
    {
        ASSERT_TRUE(waitUntil([&] { return editorOn(size); }, 30s))
            << "no editor on " << size.width() << "×" << size.height() << "; " << log.join(u'|').toStdString();
        EXPECT_EQ(shell->editor()->state().label(), label);
        shell->finishEditor(true, true);
        ASSERT_FALSE(shell->editor());
    }

    // Chooses the entry of the open editor's add menu; false when it has none.
    bool chooseInEditor(const QString& entry)
    {
        for (QAction* action : shell->editor()->findChildren<QAction*>())
            if (action->text() == entry) {
                action->trigger();
                return true;
            }
        ADD_FAILURE() << "no «" << entry.toStdString() << "»";
        return false;
    }

    // Starts an area capture; the picker waits for `letPickerFinish`.
    void beginCapture(ScreenCaptureMode mode = ScreenCaptureMode::area)
    {
        QFile::remove(pickDone);
        shell->captureScreenshot(mode);
        ASSERT_TRUE(model().busy()) << "no capture began";
        ASSERT_TRUE(waitUntil([&] { return shell->captureRunning(); }, 30s)) << "the picker never ran";
    }
    void letPickerFinish()
    {
        QFile done(pickDone);
        ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    }

    const QSize capturedSize{64, 48}, openedSize{90, 70}, secondSize{30, 20};
    QString captured = dir.filePath(QStringLiteral("captured.png"));
    QString opened = dir.filePath(QStringLiteral("открытое.png"));
    QString second = dir.filePath(QStringLiteral("second.png"));
    QString pickDone = dir.filePath(QStringLiteral("pick-done"));
    std::shared_ptr<HeldReads> reads = std::make_shared<HeldReads>();
};

TEST_F(LateReads, AnImageOpenedAsACaptureBeginsOpensAfterTheCaptureAndItsEditorUnderTheNextLetter)
{
    // As the tray's «Открыть изображение…» and a second start's "--open-image" open it.
    const std::vector<std::pair<const char*, std::function<void()>>> openings{
        {"the tray's open image", [&] { imageAnswer = opened; shell->openImage(); }},
        {"a second start", [&] { shell->handleArguments({QStringLiteral("--open-image"), opened}); }},
    };
    QString next = QStringLiteral("A");
    for (const auto& [how, open] : openings) {
        SCOPED_TRACE(how);
        reads->hold(opened);
        open();
        ASSERT_TRUE(waitUntil([&] { return reads->started(opened); }, 30s));
        beginCapture();
        ASSERT_FALSE(HasFatalFailure());
        finishRead(opened);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_FALSE(shell->editor()) << "an editor beside the picker";
        letPickerFinish();
        saveEditor(capturedSize, next);
        ASSERT_FALSE(HasFatalFailure());
        next = QString(QChar(next.at(0).unicode() + 1));
        saveEditor(openedSize, next);
        ASSERT_FALSE(HasFatalFailure());
        next = QString(QChar(next.at(0).unicode() + 1));
        reads->forget();
    }
    EXPECT_EQ(model().shots().size(), 4);
    EXPECT_FALSE(log.filter(QStringLiteral("alert")).size()) << log.join(u'|').toStdString();
}

TEST_F(LateReads, AFileThatCannotBeReadIsSaidOnceThePickerHasGoneNotOverIt)
{
    const QString broken = dir.filePath(QStringLiteral("обрезанный.png"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(64, 'x'));
    file.close();
    // Where the alert appears: over the picker's veil, or once it has gone.
    model().alert = [this](const QString& text) {
        log << QStringLiteral("alert: ") + text + (shell->captureRunning() ? QStringLiteral(" over the picker") : QString());
    };
    reads->hold(broken);
    shell->importImage(broken);
    ASSERT_TRUE(waitUntil([&] { return reads->started(broken); }, 30s));
    beginCapture();
    ASSERT_FALSE(HasFatalFailure());
    finishRead(broken);
    ASSERT_FALSE(HasFatalFailure());
    letPickerFinish();
    ASSERT_TRUE(waitUntil([&] { return !log.filter(QStringLiteral("alert")).isEmpty(); }, 30s)) << "the failure was never said";
    EXPECT_EQ(log.filter(QStringLiteral("alert")), QStringList{QStringLiteral("alert: Не удалось открыть изображение.")});
    EXPECT_EQ(model().status(), QStringLiteral("Не удалось открыть изображение."));
    saveEditor(capturedSize, QStringLiteral("A"));
}

TEST_F(LateReads, TwoImagesOpenInTheOrderAskedWhicheverReadEndsFirst)
{
    reads->hold(opened);
    imageAnswer = opened;
    shell->openImage();
    // The second file is in at once: a second start hands it over.
    shell->handleArguments({QStringLiteral("--open-image"), second});
    ASSERT_TRUE(waitUntil([&] { return reads->done(second); }, 30s));
    EXPECT_FALSE(shell->editor()) << "the later file opened first";
    finishRead(opened);
    ASSERT_FALSE(HasFatalFailure());
    saveEditor(openedSize, QStringLiteral("A"));
    ASSERT_FALSE(HasFatalFailure());
    saveEditor(secondSize, QStringLiteral("B"));
}

// Every command of the hot keys, the tray and a second start while an image is being read: the
// session it starts runs as without the read, and the image opens once it has ended.
TEST_F(LateReads, EveryCommandWhileAnImageIsReadLetsItOpenOnceItsSessionEnds)
{
    model().save(Screenshot::make(picture(40, 40, Qt::gray), 1), {}, false);
    const QUuid first = model().shots().first().id;
    folderAnswer = dir.path();
    struct Command {
        const char* name;
        std::function<void()> run; // starts it, lets the read end inside it, and ends it
    };
    const auto duringQuestion = [&](const std::function<void()>& ask) {
        whileAsked = [&] { finishRead(opened); };
        ask();
        whileAsked = [] {};
    };
    const auto capture = [&](ScreenCaptureMode mode) {
        beginCapture(mode);
        finishRead(opened);
        letPickerFinish();
        saveEditor(capturedSize, QStringLiteral("B"));
    };
    const std::vector<Command> commands{
        {"Ctrl+2", [&] { capture(ScreenCaptureMode::area); }},
        {"Ctrl+Shift+Space", [&] { capture(ScreenCaptureMode::window); }},
        {"Ctrl+Shift+0", [&] {
             QFile::remove(pickDone);
             shell->captureText();
             ASSERT_TRUE(waitUntil([&] { return shell->captureRunning(); }, 30s));
             finishRead(opened);
             letPickerFinish();
             ASSERT_TRUE(waitUntil([&] { return !model().busy() || shell->editor(); }, 120s)) << "the text is never read";
         }},
        {"«Снимок со скроллом…»", [&] {
             shell->captureScrolling();
             ASSERT_TRUE(waitUntil([&] {
                 return shell->scrollingCapture() && shell->scrollingCapture()->selector()
                     && !shell->scrollingCapture()->selector()->panels().empty();
             }, 30s)) << "no area selection";
             finishRead(opened);
             x.chord({x.keycodeOf(XK_Escape)});
         }},
        {"«Запись экрана…»", [&] {
             // The recorder's seam, as the recording subsystem fills it.
             const auto open = std::make_shared<bool>(false);
             shell->recorder.exists = [open] { return *open; };
             shell->recorder.start = [open] { *open = true; };
             shell->recordScreen();
             ASSERT_TRUE(*open);
             finishRead(opened);
             QCoreApplication::processEvents();
             EXPECT_FALSE(shell->editor()) << "an editor beside the recorder";
             *open = false;
             shell->recordingDismissed();
         }},
        {"«Сохранить серию в папку…»", [&] { duringQuestion([&] { shell->exportSeries(); }); }},
        {"the quit question", [&] { quitAnswer = false; duringQuestion([&] { EXPECT_FALSE(shell->shouldQuit()); }); }},
        {"a shot of the series edited", [&] {
             shell->editShot(first);
             ASSERT_TRUE(shell->editor());
             finishRead(opened);
             shell->finishEditor(false, true);
         }},
        {"«Показать Tarnwick» and a start without arguments", [&] {
             shell->showPanel();
             shell->reopen();
             shell->handleArguments({});
             finishRead(opened);
         }},
    };
    for (const Command& command : commands) {
        SCOPED_TRACE(command.name);
        const qsizetype before = model().shots().size();
        reads->hold(opened);
        shell->importImage(opened);
        ASSERT_TRUE(waitUntil([&] { return reads->started(opened); }, 30s));
        command.run();
        ASSERT_FALSE(HasFatalFailure());
        // The image opens once the command's session has ended, under the next letter.
        ASSERT_TRUE(waitUntil([&] { return editorOn(openedSize); }, 30s)) << "the image vanished";
        EXPECT_EQ(shell->editor()->state().label(), shotLabel(model().shots().size()));
        shell->finishEditor(false, true);
        while (model().shots().size() > 1)
            model().deleteShot(model().shots().last().id);
        EXPECT_GE(model().shots().size(), std::min<qsizetype>(before, 1));
        reads->forget();
    }
    EXPECT_TRUE(log.filter(QStringLiteral("alert")).isEmpty()) << log.join(u'|').toStdString();
}

// While the picker runs for an editor's layer, the editor stays hidden whatever comes: a second
// start, with an image or without, and the scrolling capture's command; the image opens after it.
TEST_F(LateReads, AnEditorCapturingALayerStaysHiddenAndAnImageHandedOverMeanwhileOpensAfterIt)
{
    shell->openEditor(Screenshot::make(picture(200, 100, Qt::gray), 1), QStringLiteral("A"));
    ASSERT_TRUE(waitUntil([&] { return shell->editor() && shell->editor()->isVisible(); }, 30s));
    QFile::remove(pickDone);
    ASSERT_TRUE(chooseInEditor(QStringLiteral("Снять область экрана…")));
    ASSERT_TRUE(waitUntil([&] { return shell->captureRunning(); }, 30s)) << "the picker never ran";
    ASSERT_FALSE(shell->editor()->isVisible());
    const std::vector<std::pair<const char*, std::function<void()>>> commands{
        {"a second start with an image", [&] { shell->handleArguments({QStringLiteral("--open-image"), opened}); }},
        {"a second start", [&] { shell->handleArguments({}); }},
        {"the scrolling capture", [&] { shell->captureScrolling(); }},
    };
    for (const auto& [what, command] : commands) {
        command();
        EXPECT_FALSE(shell->editor()->isVisible()) << what << " showed the editor over the picker";
    }
    EXPECT_FALSE(shell->scrollingCapture());
    ASSERT_TRUE(waitUntil([&] { return reads->done(opened); }, 30s));
    letPickerFinish();
    ASSERT_TRUE(waitUntil([&] { return shell->editor()->state().annotations().size() == 1; }, 30s)) << "the layer never came";
    shell->finishEditor(true, true);
    saveEditor(openedSize, QStringLiteral("B"));
}

TEST_F(LateReads, AnEditorClosedBeforeItsLayerIsReadSaysTheLayerIsNotIn)
{
    shell->openEditor(Screenshot::make(picture(200, 100, Qt::gray), 1), QStringLiteral("A"));
    ASSERT_TRUE(shell->editor());
    auto gate = std::make_shared<std::promise<void>>();
    shell->editor()->state().images().setFileReader(
        [held = gate->get_future().share()](const EditorImageImporter::Offer& offer) {
            held.wait();
            return EditorImageImporter::fromOffer(offer);
        });
    layerFiles = {opened};
    ASSERT_TRUE(chooseInEditor(QStringLiteral("Выбрать файл…")));
    ASSERT_EQ(log.filter(QStringLiteral("layers")).size(), 1);
    shell->finishEditor(true, true);
    gate->set_value();
    ASSERT_EQ(model().shots().size(), 1);
    EXPECT_TRUE(model().shots().first().annotations.isEmpty());
    EXPECT_TRUE(model().status().endsWith(
        QStringLiteral("Изображение, которое ещё читалось, в снимок не вставлено: редактор закрыт раньше.")))
        << model().status().toStdString();
}

} // namespace
