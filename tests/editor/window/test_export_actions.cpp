// Leaving the editor with a result: the real model on an in-memory clipboard,
// the real renderer and QR reader; the shell's finish is played by the harness.

#include "WindowTestSupport.h"

#include "editor/window/EditorExportActions.h"
#include "support/FakeClipboardBackend.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class ExportActions : public ::testing::Test, public EditorHarness<FakeClipboardBackend> {
protected:
    // A hostile but legal folder name.
    QString folder = root.filePath(QStringLiteral("-Снимки \"$(x)\"\n'"));
    void SetUp() override { QDir().mkpath(folder); }
    QStringList saved() const { return QDir(folder).entryList(QDir::Files); }
    bool closed() { return QTest::qWaitFor([this] { return window.isNull(); }, 1000); }
};

} // namespace

TEST_F(ExportActions, SaveAsksForTheFolderOnceThenWritesWithoutAsking)
{
    open(shotOf({120, 80}));
    state().add(redRectangle({10, 10}, {60, 40}), false);
    folderToChoose = folder;
    window->actions().saveAndClose();
    EXPECT_EQ(chooserCalls, 1);
    ASSERT_EQ(saved().size(), 1);
    const QString name = saved().first();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Tarnwick \d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d [0-9A-F]{8}\.png$)")).match(name).hasMatch())
        << name.toStdString();
    EXPECT_EQ(model.status(), QStringLiteral("Снимок сохранён: ") + name);
    EXPECT_TRUE(closed());
    EXPECT_TRUE(model.shots().isEmpty()) << "an export never goes into the series";
    // The saved picture has no markers but does carry the drawing.
    QImage png(QDir(folder).filePath(name));
    EXPECT_EQ(png.size(), QSize(120, 80));
    EXPECT_NE(png.pixelColor(10, 25), QColor(200, 200, 200));

    open(shotOf({50, 50}));
    window->actions().saveAndClose();
    EXPECT_EQ(chooserCalls, 1) << "the folder is remembered";
    EXPECT_EQ(saved().size(), 2);
}

TEST_F(ExportActions, FolderChoiceCancelledOrUnusableLeavesTheEditorOpen)
{
    open(shotOf({40, 40}));
    window->actions().saveAndClose(); // no folder chosen
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(finishes.isEmpty());

    folderToChoose = root.filePath(QStringLiteral("нет такой"));
    window->actions().saveAndClose();
    EXPECT_EQ(model.status(), QStringLiteral("Выберите доступную папку для сохранения снимков."));
    EXPECT_TRUE(finishes.isEmpty());
    EXPECT_FALSE(window->actions().choosingDirectory());
}

TEST_F(ExportActions, MissingOrReadOnlyFolderGivesTheSentenceAndNoFile)
{
    model.setImageSaveDirectory(folder);
    QDir(folder).removeRecursively();
    open(shotOf({40, 40}));
    window->actions().saveAndClose();
    EXPECT_EQ(model.status(), QStringLiteral("Папка сохранения недоступна. Выберите другую папку в меню рядом с дискетой."));
    EXPECT_TRUE(finishes.isEmpty()) << "the editor stays open";
    delete window.data();
    alerts.clear();

    // A folder nobody may create files in, root included.
    model.setImageSaveDirectory(QStringLiteral("/proc/self"));
    open(shotOf({40, 40}));
    window->actions().saveAndClose();
    EXPECT_TRUE(saved().isEmpty());
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts[0].startsWith(QStringLiteral("Не удалось сохранить снимок: "))) << alerts[0].toStdString();
    EXPECT_EQ(model.status(), alerts.value(0));
    EXPECT_TRUE(finishes.isEmpty()) << "the editor stays open";
}

TEST_F(ExportActions, CopiesKeepTheirOwnStatusAndRefusalsBeep)
{
    open(shotOf({40, 40}));
    EXPECT_FALSE(window->actions().copyColorAndClose()) << "nothing sampled yet";
    EXPECT_EQ(beeps, 1);
    state().comment().setOpen(true);
    EXPECT_FALSE(window->actions().copyWithoutMarkers(false));
    EXPECT_EQ(beeps, 2);
    state().comment().setOpen(false);

    EXPECT_TRUE(window->actions().copyWithoutMarkers(false));
    EXPECT_TRUE(state().copiedWithoutMarkers());
    EXPECT_FALSE(board.publishedData(QStringLiteral("image/png")).isEmpty());
    EXPECT_TRUE(window->actions().copyWithoutMarkers(true));
    EXPECT_TRUE(closed());
    EXPECT_EQ(finishes, (QVector<std::pair<bool, bool>>{{false, true}}));
    EXPECT_EQ(model.status(), QStringLiteral("Снимок без маркировки скопирован — Ctrl+V"));
}

TEST_F(ExportActions, QRCodeUnderTheDragIsCopiedAndTheEditorCloses)
{
    open(shotOf({400, 300}, L"https://пример.рф/оплата?id=42"));
    state().setTool(AnnotationTool::qr);
    QSignalSpy finished(&window->actions(), &EditorExportActions::qrReadFinished);

    window->actions().readQRAndClose(QRectF(300, 250, 2.5, 40));
    EXPECT_EQ(state().qr().message(), QStringLiteral("Выделите область с QR-кодом."));
    dragOnCanvas({260, 20}, {390, 260}); // grey only
    EXPECT_EQ(state().qr().message(), QStringLiteral("Распознаём QR-код…"));
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(state().qr().message(), QStringLiteral("QR-код не найден. Выделите его целиком, захватив поля вокруг."));
    EXPECT_TRUE(finishes.isEmpty());

    dragOnCanvas({10, 10}, {250, 260});
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finishes.isEmpty());
    EXPECT_EQ(QString::fromUtf8(board.publishedData(QStringLiteral("text/plain"))), QStringLiteral("https://пример.рф/оплата?id=42"));
}

TEST_F(ExportActions, QRAreaIsClippedToTheShot)
{
    open(shotOf({400, 300}, L"https://пример.рф/оплата?id=42"));
    state().setTool(AnnotationTool::qr);
    QSignalSpy finished(&window->actions(), &EditorExportActions::qrReadFinished);
    window->actions().readQRAndClose(QRectF(-50, 10.2, 300, 280));
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(QString::fromUtf8(board.publishedData(QStringLiteral("text/plain"))), QStringLiteral("https://пример.рф/оплата?id=42"));
    EXPECT_TRUE(closed());
    EXPECT_EQ(model.status(), QStringLiteral("Содержимое QR-кода скопировано — Ctrl+V"));
}

TEST_F(ExportActions, ALateQRResultAfterAToolChangeChangesNothing)
{
    open(shotOf({400, 300}, L"late"));
    state().setTool(AnnotationTool::qr);
    QSignalSpy finished(&window->actions(), &EditorExportActions::qrReadFinished);
    window->actions().readQRAndClose(QRectF(0, 0, 400, 300));
    state().setTool(AnnotationTool::arrow);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(board.publishedData(QStringLiteral("text/plain")).isEmpty());
    EXPECT_FALSE(state().qr().message());
    EXPECT_TRUE(finishes.isEmpty());
}
