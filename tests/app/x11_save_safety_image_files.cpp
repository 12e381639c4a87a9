// Image files the user names to the shell and the editor: a named pipe among them is refused at
// once, without the windows waiting for a writer, and the others are read as before.
#include "ShellFixture.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"

#include <QAction>
#include <QMimeData>
#include <QUrl>
#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class ImageFiles : public ShellTest {
protected:
    void SetUp() override
    {
        start();
        QImage picture(60, 40, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(image));
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    }

    qsizetype layers() { return shell->editor() ? shell->editor()->state().annotations().size() : -1; }
    // «Выбрать файл…» of the editor's add menu.
    void chooseLayerFiles()
    {
        for (QAction* action : shell->editor()->findChildren<QAction*>())
            if (action->text() == QStringLiteral("Выбрать файл…"))
                return action->trigger();
        ADD_FAILURE() << "no «Выбрать файл…»";
    }
    std::optional<QString> editorMessage() { return shell->editor()->state().images().message(); }

    const QString image = dir.filePath(QStringLiteral("picture.png"));
    const QString pipe = dir.filePath(QStringLiteral("pipe.png"));
};

} // namespace

TEST_F(ImageFiles, APipeOpenedAsAShotIsRefusedAtOnceAndTheNextImageOpens)
{
    shell->importImage(pipe);
    ASSERT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("alert: Не удалось открыть изображение.")); }, 30s))
        << log.join(u'|').toStdString();
    EXPECT_FALSE(shell->editor());
    EXPECT_FALSE(model().busy());
    shell->importImage(image);
    ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s));
    EXPECT_EQ(shell->editor()->state().shot().image.size(), QSize(60, 40));
}

TEST_F(ImageFiles, APipeAmongTheEditorsLayerFilesOrPastedFilesIsPassedByAtOnce)
{
    shell->importImage(image);
    ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s));
    // «Выбрать файл…»: the pipe is passed by, the picture becomes a layer.
    layerFiles = {pipe, image};
    chooseLayerFiles();
    ASSERT_TRUE(waitUntil([&] { return layers() == 1; }, 30s)) << layers();
    // Alone, it is said to be unreadable.
    layerFiles = {pipe};
    chooseLayerFiles();
    ASSERT_TRUE(waitUntil([&] { return editorMessage() == QStringLiteral("Не удалось прочитать изображение."); }, 30s));
    EXPECT_EQ(layers(), 1);

    // Pasted as a file of the file manager's: read off the GUI thread, and said so once read.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(pipe)});
    shell->editor()->state().images().setMessage(std::nullopt);
    shell->editor()->state().images().paste(&files);
    ASSERT_TRUE(waitUntil([&] { return editorMessage().has_value(); }, 30s));
    EXPECT_EQ(editorMessage(), QStringLiteral("Не удалось прочитать изображение."));
    files.setUrls({QUrl::fromLocalFile(pipe), QUrl::fromLocalFile(image)});
    EXPECT_TRUE(shell->editor()->state().images().paste(&files));
    EXPECT_TRUE(waitUntil([&] { return layers() == 2; }, 30s)) << layers();
}
