// The questions, alerts and dialogs the program opens from the tray and from the editor take the
// dark look of its windows, also those opened with no window behind them.

#include "ShellFixture.h"
#include "audit/OpenedWindows.h"

#include "editor/window/EditorExportActions.h"
#include "editor/window/EditorExportWindow.h"
#include "panels/DarkStyle.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class DarkQuestions : public ShellTest {
protected:
    // Opens what `open` opens in a loop of its own and checks, while it is up, that it is dark:
    // its palette and the pixels it draws.
    void expectDark(const std::string& what, const std::function<void()>& open)
    {
        const bool seen = audit::lookInside(
            [] {
                QWidget* w = QApplication::activeModalWidget();
                return qobject_cast<QMessageBox*>(w) || qobject_cast<QFileDialog*>(w) ? w : nullptr;
            },
            open,
            [&](QWidget* box) {
                EXPECT_TRUE(DarkStyle::dark(box->palette())) << what << " has a light palette";
                const QColor ground = box->grab().toImage().pixelColor(3, 3);
                EXPECT_LT(ground.lightness(), 100) << what << " draws its ground in " << ground.name().toStdString();
            });
        EXPECT_TRUE(seen) << what << " never showed";
    }

    QAction* trayAction(const QString& text)
    {
        for (QAction* action : shell->trayMenu()->actions())
            if (action->text() == text)
                return action;
        ADD_FAILURE() << "no «" << text.toStdString() << "» in the tray menu";
        return nullptr;
    }
};

TEST_F(DarkQuestions, EveryQuestionAndDialogFromTheTrayAndTheEditorIsDark)
{
    const QString folder = dir.filePath(QStringLiteral("shots"));
    ASSERT_TRUE(QDir().mkpath(folder));
    settings.setValue(QStringLiteral("imageSaveDirectory"), folder);
    startAsking();
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(model().save(Screenshot::make(picture, 1), {}, false));

    // From the tray, with no window behind them.
    expectDark("«О Tarnwick»", [&] { shell->about(); });
    expectDark("«Открыть изображение»", [&] { trayAction(QStringLiteral("Открыть изображение…"))->trigger(); });
    expectDark("«Сохранить серию»", [&] { trayAction(QStringLiteral("Сохранить серию в папку…"))->trigger(); });
    expectDark("«Завершить Tarnwick?»", [&] { shell->shouldQuit(); });

    // From the editor: its file choice, its folder choice and the alert of a save that failed.
    shell->openEditor(Screenshot::make(picture, 1), QStringLiteral("B"));
    EditorExportWindow* editor = shell->editor();
    ASSERT_TRUE(editor);
    QAction* chooseFile = nullptr;
    for (QAction* action : editor->findChildren<QAction*>())
        if (action->text() == QStringLiteral("Выбрать файл…"))
            chooseFile = action;
    ASSERT_TRUE(chooseFile);
    expectDark("the editor's «Добавить изображение»", [&] { chooseFile->trigger(); });
    expectDark("the editor's «Выбрать папку»", [&] { editor->actions().selectDirectory(false); });
    ASSERT_TRUE(QDir(folder).removeRecursively());
    expectDark("the editor's alert of a failed save", [&] { editor->actions().saveAndClose(); });
}

} // namespace
