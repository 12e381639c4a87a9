#include "ShellFixture.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// One session at a time, also while a question of the program is open and while
// a flow that started earlier comes to its end.
class Sessions : public ShellTest {
protected:
    void SetUp() override
    {
        start();
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(picture));
        // The picker hands back this picture at once.
        qputenv("FAKE_PICK", QFile::encodeName(picture));
    }

    // Every command a key, the tray or a second start gives, as the user would while a
    // question waits; what each left running is logged.
    void pressEverything()
    {
        shell->captureScreenshot(ScreenCaptureMode::area);
        shell->captureScreenshot(ScreenCaptureMode::window);
        shell->captureText();
        shell->captureScrolling();
        shell->recordScreen();
        shell->handleArguments({QStringLiteral("--open-image"), picture});
        shell->exportSeries();
        shell->reopen();
        if (model().busy() || shell->captureRunning() || shell->scrollingCapture() || shell->editor())
            log << QStringLiteral("started while asked");
    }

    // The editor on the picture at once, as a file already read opens it, so that no answer
    // waiting in this thread's loop comes first.
    void openPicture()
    {
        shell->openEditor(Screenshot::make(QImage(picture), 1), QString(QChar(char16_t(u'A' + model().shots().size()))));
    }

    QString picture = dir.filePath(QStringLiteral("picture.png"));
};

TEST_F(Sessions, WhileTheOpenImageDialogAsksNoKeyStartsAnythingAndTheChosenFileOpensTheOneEditor)
{
    imageAnswer = picture;
    whileAsked = [this] {
        EXPECT_TRUE(shell->dialogOpen());
        pressEverything();
    };
    shell->openImage();
    EXPECT_FALSE(log.contains(QStringLiteral("started while asked"))) << log.join(u'|').toStdString();
    EXPECT_FALSE(shell->dialogOpen());
    ASSERT_TRUE(waitUntil([&] { return shell->editor() != nullptr; }, 30s)) << "the file is read off the GUI thread";
    EXPECT_EQ(shell->editor()->state().label(), QStringLiteral("A"));
    EXPECT_TRUE(pickerRuns().isEmpty());

    // The one editor closes, its shot in the series, and the keys start captures again.
    shell->finishEditor(true, true);
    EXPECT_FALSE(shell->editor());
    EXPECT_EQ(model().shots().size(), 1);
    whileAsked = [] {};
    shell->captureScreenshot(ScreenCaptureMode::area);
    ASSERT_TRUE(waitUntil([&] { return shell->editor() != nullptr; }, 10s));
    EXPECT_EQ(shell->editor()->state().label(), QStringLiteral("B"));
}

TEST_F(Sessions, WhileTheExportFolderIsAskedNoCaptureStartsAndTheExportEndsOnlyItsOwnSession)
{
    shell->importImage(picture);
    ASSERT_TRUE(waitUntil([&] { return shell->editor() != nullptr; }, 30s));
    shell->finishEditor(true, true);
    ASSERT_EQ(model().shots().size(), 1);
    folderAnswer = dir.path();
    whileAsked = [this] { pressEverything(); };
    shell->exportSeries();
    EXPECT_FALSE(log.contains(QStringLiteral("started while asked"))) << log.join(u'|').toStdString();
    EXPECT_TRUE(log.filter(QStringLiteral("reveal: ")).size() == 1) << log.join(u'|').toStdString();
    EXPECT_FALSE(model().busy());

    // An editor opened before the folder is chosen is still the session when the export is done.
    whileAsked = [this] { openPicture(); };
    shell->exportSeries();
    ASSERT_TRUE(shell->editor());
    EXPECT_TRUE(model().busy()) << "the export ended the editor's session";
    shell->finishEditor(true, true);
    EXPECT_FALSE(shell->editor()) << "the editor no longer closes";
    EXPECT_EQ(model().shots().size(), 2);
}

TEST_F(Sessions, TheSaveFolderAskedForAnEditorAnswersTheKeysInsteadOfTheEditor)
{
    shell->importImage(picture);
    ASSERT_TRUE(waitUntil([&] { return shell->editor() != nullptr; }, 30s));
    EditorExportWindow* editor = shell->editor();
    folderAnswer = dir.path();
    whileAsked = [this, editor] {
        shell->captureScreenshot(ScreenCaptureMode::area);
        shell->captureText();
        shell->recordScreen();
        if (shell->editor() != editor || shell->captureRunning() || shell->scrollingCapture())
            log << QStringLiteral("started while asked");
    };
    std::optional<QString> chosen;
    shell->chooseImageSaveDirectory([&](std::optional<QString> folder) { chosen = folder; });
    EXPECT_EQ(chosen, folderAnswer);
    // The keys answer with the question, not with a beep from the editor behind it.
    EXPECT_EQ(log, QStringList{QStringLiteral("folder: Выбрать папку")});
    shell->finishEditor(true, true);
    EXPECT_FALSE(shell->editor());
    EXPECT_EQ(model().shots().size(), 1);
}

TEST_F(Sessions, TheEndOfATextReadingLeavesAnEditorOpenedMeanwhileItsSession)
{
    shell->captureText();
    ASSERT_TRUE(waitUntil([&] { return model().status() == QStringLiteral("Распознаю текст…"); }, 30s));
    // Before the reading's answer can come: it is delivered through this thread's loop.
    openPicture();
    ASSERT_TRUE(shell->editor());
    ASSERT_TRUE(waitUntil([&] { return model().status() != QStringLiteral("Распознаю текст…"); }, 60s));
    EXPECT_TRUE(model().busy()) << "the reading ended the editor's session";
    shell->finishEditor(true, true);
    EXPECT_FALSE(shell->editor()) << "Ctrl+Enter does nothing in the only editor";
    EXPECT_EQ(model().shots().size(), 1);
}

TEST_F(Sessions, AQuestionQtRunsForAnotherPartHoldsTheKeysUntilItIsAnswered)
{
    // As the recorder asks where to save, or whether to drop a recording.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tarnwick"), QStringLiteral("Удалить несохранённую запись?"));
    bool asked = false;
    QTimer::singleShot(0, &box, [&] {
        ASSERT_TRUE(waitUntil([&] { return box.isVisible(); }, 10s));
        asked = shell->dialogOpen();
        pressEverything();
        box.done(0);
    });
    box.exec();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(log.contains(QStringLiteral("started while asked"))) << log.join(u'|').toStdString();
    EXPECT_FALSE(shell->dialogOpen());
    shell->captureScreenshot(ScreenCaptureMode::area);
    EXPECT_TRUE(model().busy()) << "the key does nothing once the question has gone";
    ASSERT_TRUE(waitUntil([&] { return shell->editor() != nullptr; }, 10s));
}

TEST_F(Sessions, AShotThatComesWhileAnEditorIsOpenGoesIntoTheSeriesAndTheEditorStaysTheOnlyOne)
{
    QImage other(30, 20, QImage::Format_RGB32);
    other.fill(Qt::darkRed);
    shell->openEditor(Screenshot::make(QImage(picture), 1), QStringLiteral("A"));
    EditorExportWindow* first = shell->editor();
    ASSERT_TRUE(first);
    shell->openEditor(Screenshot::make(other, 1), QStringLiteral("B"));
    EXPECT_EQ(shell->editor(), first);
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(),
                            [](QWidget* w) { return qobject_cast<EditorExportWindow*>(w) && w->isVisible(); }),
              1);
    ASSERT_EQ(model().shots().size(), 1);
    EXPECT_EQ(model().shots().first().image.size(), other.size());
    EXPECT_EQ(model().status(), QStringLiteral("Редактор уже открыт: снимок B добавлен в серию."));
    shell->finishEditor(true, true);
    EXPECT_FALSE(shell->editor());
    EXPECT_EQ(model().shots().size(), 2);
}

} // namespace
