#include "ShellFixture.h"

#include "editor/model/EditorState.h"
#include "editor/window/EditorExportWindow.h"
#include "panels/FloatingPanel.h"
#include "panels/Theme.h"
#include "app/ScrollingCaptureController.h"
#include "capture/RecordingAreaSelector.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <X11/keysym.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// A PNG whose pHYs chunk says `dpi`, or that has none at all.
QByteArray png(const QImage& image, std::optional<double> dpi)
{
    QImage copy = image;
    copy.setDotsPerMeterX(int(std::lround(dpi.value_or(72) / 0.0254)));
    copy.setDotsPerMeterY(copy.dotsPerMeterX());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    copy.save(&buffer, "PNG");
    if (!dpi) // length, type, 9 bytes of data, CRC
        bytes.remove(bytes.indexOf("pHYs") - 4, 4 + 4 + 9 + 4);
    return bytes;
}

class FlowTest : public ShellTest {
protected:
    void SetUp() override { start(); }

    // The picker hands back these bytes (nothing: Escape).
    void pickerGives(const std::optional<QByteArray>& bytes)
    {
        const QString file = dir.filePath(QStringLiteral("pick.png"));
        if (bytes) {
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(*bytes) == bytes->size());
        }
        qputenv("FAKE_PICK", bytes ? QFile::encodeName(file) : QByteArray());
    }

    bool editorShown() { return shell->editor() && shell->editor()->isVisible(); }
};

TEST_F(FlowTest, CancelledCapturesKeepSeriesAndClipboardAndLeaveNoFile)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("мой текст"));
    pickerGives(std::nullopt);
    for (auto [mode, status] : {std::pair{ScreenCaptureMode::window, "Захват отменён. Серия сохранена."},
                                std::pair{ScreenCaptureMode::text, "Отменено. Буфер сохранён"}}) {
        if (mode == ScreenCaptureMode::text)
            shell->captureText();
        else
            shell->captureScreenshot(mode);
        EXPECT_FALSE(shell->panel()->isVisible()) << status;
        ASSERT_TRUE(waitUntil([&] { return idle(); }, 30s)) << status;
        EXPECT_EQ(model().status(), QString::fromUtf8(status));
        EXPECT_TRUE(shell->panel()->isVisible()) << status;
        EXPECT_EQ(captureFiles(), QStringList()) << status;
    }
    EXPECT_EQ(pickerRuns().size(), 2);
    EXPECT_TRUE(pickerRuns().value(0).startsWith(QStringLiteral("-i -x -t png -w -o ")));
    EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), QByteArray("мой текст"));
    EXPECT_TRUE(model().shots().isEmpty() && !shell->editor() && log.isEmpty());
}

TEST_F(FlowTest, AFullSeriesRefusesShotsButNotText)
{
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    for (int i = 0; i < AppModel::maximumShots; ++i)
        model().save(Screenshot::make(image, 1), {}, false);
    pickerGives(std::nullopt);
    shell->captureScreenshot(ScreenCaptureMode::area);
    shell->captureScrolling();
    EXPECT_EQ(log, (QStringList{"beep", "beep"}));
    EXPECT_FALSE(model().busy() || shell->scrollingCapture());
    shell->captureText();
    EXPECT_TRUE(model().busy());
    ASSERT_TRUE(waitUntil([&] { return idle(); }, 30s));
    EXPECT_EQ(pickerRuns().size(), 1) << "only the text capture ran the picker";

    // An image opened from the command line still opens, but the full series keeps the editor open.
    image.save(dir.filePath(QStringLiteral("extra.png")));
    shell->importImage(dir.filePath(QStringLiteral("extra.png")));
    ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s)) << "the file is read off the GUI thread";
    shell->finishEditor(true, true);
    EXPECT_TRUE(shell->editor() && shell->editor()->isVisible());
    EXPECT_EQ(model().shots().size(), AppModel::maximumShots);
    EXPECT_EQ(log, (QStringList{"beep", "beep", "beep"}));
}

// The finish waits on the series (a refused 27th shot beeps); a second finish started
// from inside it is dropped, and the editor stays with its work.
TEST_F(FlowTest, AFinishStartedInsideTheEditorsFinishIsDropped)
{
    QImage image(20, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    for (int i = 0; i < AppModel::maximumShots; ++i)
        model().save(Screenshot::make(image, 1), {}, false);
    image.save(dir.filePath(QStringLiteral("extra.png")));
    shell->importImage(dir.filePath(QStringLiteral("extra.png")));
    ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s)) << "the file is read off the GUI thread";
    model().beep = [this] {
        log << QStringLiteral("beep");
        shell->finishEditor(false, true);
    };
    model().setStatus({});
    shell->finishEditor(true, true);
    EXPECT_TRUE(shell->editor() && shell->editor()->isVisible());
    EXPECT_EQ(model().status(), QString()) << "nothing was discarded";
    EXPECT_EQ(log, QStringList{"beep"});
    EXPECT_TRUE(model().busy()) << "the editor's session goes on";

    // Once the first finish is over, a finish runs again.
    model().beep = [this] { log << QStringLiteral("beep"); };
    shell->finishEditor(false, true);
    EXPECT_FALSE(shell->editor());
    EXPECT_EQ(model().status(), QStringLiteral("Изменения отменены"));
    EXPECT_FALSE(model().busy());
}

TEST_F(FlowTest, AScrollingCaptureHoldsTheOtherCommandsUntilEscapeBringsThePanelBack)
{
    shell->captureScrolling();
    ASSERT_TRUE(waitUntil([&] {
        const ScrollingCaptureController* s = shell->scrollingCapture();
        return s && s->selector() && !s->selector()->panels().empty();
    }, 5s));
    shell->captureScreenshot(ScreenCaptureMode::area);
    shell->showPanel();
    EXPECT_FALSE(shell->shouldQuit());
    EXPECT_EQ(log, QStringList{"beep"}) << "only the quit check beeps";
    EXPECT_TRUE(pickerRuns().isEmpty() && !shell->panel()->isVisible());
    x.chord({x.keycodeOf(XK_Escape)});
    ASSERT_TRUE(waitUntil([&] { return !model().busy(); }, 30s));
    EXPECT_EQ(model().status(), QStringLiteral("Захват отменён. Серия сохранена."));
    EXPECT_TRUE(shell->panel()->isVisible() && !shell->scrollingCapture());
}

TEST_F(FlowTest, CapturedPicturesOpenInTheEditorAtTheirScale)
{
    QImage picture(200, 100, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter(&picture).fillRect(20, 20, 160, 60, Qt::red);
    struct Row {
        ScreenCaptureMode mode;
        std::optional<double> dpi;
        double pixelsPerPoint;
        QColor corner;
    };
    for (const Row& row : {Row{ScreenCaptureMode::area, 144, 2, Qt::transparent},
                           Row{ScreenCaptureMode::area, std::nullopt, 1, Qt::transparent},
                           Row{ScreenCaptureMode::window, 72, 1, Theme::canvasBackground()}}) {
        pickerGives(png(picture, row.dpi));
        shell->captureScreenshot(row.mode);
        ASSERT_TRUE(waitUntil([&] { return editorShown(); }, 30s));
        const Screenshot& shot = shell->editor()->state().shot();
        EXPECT_EQ(shell->editor()->windowTitle(), QStringLiteral("Tarnwick · A"));
        EXPECT_EQ(shot.pixelSize, QSizeF(200, 100));
        EXPECT_DOUBLE_EQ(shot.pixelsPerPoint, row.pixelsPerPoint);
        EXPECT_EQ(shot.image.pixelColor(0, 0), row.corner);
        EXPECT_EQ(shot.image.pixelColor(100, 50), QColor(Qt::red));
        EXPECT_TRUE(model().busy()) << "busy while the editor is open";
        EXPECT_EQ(captureFiles(), QStringList());
        shell->finishEditor(false, true);
    }
}

TEST_F(FlowTest, TheEditorOpensOnTheNextLabelTakesLayersAndEndsBySavingOrDiscarding)
{
    QImage image(120, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkGreen);
    model().save(Screenshot::make(image, 1), {}, false);
    model().save(Screenshot::make(image, 1), {}, false);
    pickerGives(png(image, 72));
    shell->captureScreenshot(ScreenCaptureMode::area);
    ASSERT_TRUE(waitUntil([&] { return editorShown(); }, 30s));
    EXPECT_EQ(shell->editor()->windowTitle(), QStringLiteral("Tarnwick · C"));
    EXPECT_FALSE(shell->panel()->isVisible());
    shell->captureScreenshot(ScreenCaptureMode::area);
    EXPECT_EQ(pickerRuns().size(), 1) << "an open editor is only brought forward";

    // A screen area from the editor's menu becomes an image layer; the editor hides meanwhile.
    const QList<QAction*> actions = shell->editor()->findChildren<QAction*>();
    const auto area = std::find_if(actions.begin(), actions.end(),
                                   [](QAction* a) { return a->text() == QStringLiteral("Снять область экрана…"); });
    ASSERT_NE(area, actions.end());
    (*area)->trigger();
    EXPECT_FALSE(shell->editor()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return editorShown(); }, 30s));
    const QVector<Annotation> layers = shell->editor()->state().annotations();
    ASSERT_EQ(layers.size(), 1);
    EXPECT_EQ(layers[0].kind, AnnotationTool::image);

    shell->finishEditor(false, true);
    EXPECT_FALSE(shell->editor());
    EXPECT_EQ(model().shots().size(), 2);
    EXPECT_EQ(model().status(), QStringLiteral("Изменения отменены"));
    EXPECT_TRUE(shell->panel()->isVisible() && !model().busy());

    // The close button saves into the series and prepares the paste.
    shell->captureScreenshot(ScreenCaptureMode::area);
    ASSERT_TRUE(waitUntil([&] { return editorShown(); }, 30s));
    shell->editor()->close();
    EXPECT_TRUE(waitUntil([&] { return !shell->editor() && model().shots().size() == 3; }));
    EXPECT_TRUE(xclipTargets().contains(QStringLiteral("com.tarnwick.series-token")));
    EXPECT_EQ(captureFiles(), QStringList());
}

TEST_F(FlowTest, TextFromTheScreenGoesOnTheClipboard)
{
    QImage line(520, 70, QImage::Format_RGB32);
    line.fill(Qt::white);
    QPainter painter(&line);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 28));
    painter.drawText(line.rect(), Qt::AlignCenter, QStringLiteral("Привет, мир"));
    painter.end();
    pickerGives(png(line, 72));
    shell->captureText();
    ASSERT_TRUE(waitUntil([&] { return idle() && model().status() != QStringLiteral("Распознаю текст…"); }, 20s));
    EXPECT_EQ(model().status(), QStringLiteral("Текст скопирован — Ctrl+V"));
    EXPECT_EQ(QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING"))), QStringLiteral("Привет, мир"));
}

TEST_F(FlowTest, AColouredTerminalsTextFromTheScreenGoesOnTheClipboardWhole)
{
    // xterm in the Tango palette: git's red «M» and «??» are as dark in grey as the ground.
    const QImage terminal(QStringLiteral(TARNWICK_SCREENS_DATA "/git-status-tango-125x.png"));
    ASSERT_FALSE(terminal.isNull());
    pickerGives(png(terminal, 72));
    shell->captureText();
    ASSERT_TRUE(waitUntil([&] { return idle() && model().status() != QStringLiteral("Распознаю текст…"); }, 20s));
    EXPECT_EQ(model().status(), QStringLiteral("Текст скопирован — Ctrl+V"));
    QStringList lines = QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING"))).split(u'\n');
    for (QString& line : lines)
        line = line.simplified();
    for (const QString& start : {QStringLiteral("M README"), QStringLiteral("M src/main.cpp"), QStringLiteral("?? CMakeLists.txt")})
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.startsWith(start); }))
            << start.toStdString() << " in " << lines.join(" | ").toStdString();
}

TEST_F(FlowTest, ExportRevealsTheNewFolderOrReportsWhyNot)
{
    QImage image(30, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::blue);
    model().save(Screenshot::make(image, 1), {}, false);
    folderAnswer = dir.filePath(QStringLiteral("settings.ini")); // a file: nothing can be made below it
    shell->exportSeries();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("alert: Не удалось создать папку для серии"))) << log[1].toStdString();

    log.clear();
    folderAnswer = dir.path();
    shell->exportSeries();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("reveal: ") + dir.filePath(QStringLiteral("Tarnwick "))));
    EXPECT_TRUE(QFile::exists(log[1].mid(8) + QStringLiteral("/A.png")));
    EXPECT_EQ(model().status(), QStringLiteral("Серия сохранена в папку"));
    EXPECT_FALSE(model().busy());
}

} // namespace
