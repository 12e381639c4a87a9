#include "RecordingTestSupport.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "recording/review/VideoBlurExport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

const QString missingModule =
    QStringLiteral("Не удалось загрузить модуль Tarnwick «libtarnwick_effects.so». Переустановите программу.");

QStringList filesUnder(const QString& folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << QFileInfo(it.next()).fileName();
    return files;
}

bool shownIn(const QWidget* window, const QString& text)
{
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    return std::any_of(labels.begin(), labels.end(),
                       [&](const QLabel* label) { return label->isVisible() && label->text() == text; });
}

// For a look at the window, when the run asks for pictures.
void keepPicture(QWidget* window, const QString& name)
{
    if (const QString pictures = qEnvironmentVariable("TARNWICK_TEST_PICTURES"); !pictures.isEmpty()) {
        QTest::qWait(1000); // the window's layout makes room for the sentence
        window->grab().save(pictures + "/" + name);
    }
}

} // namespace

// This program has everything the recorder needs but the effects module, which is not beside it
// either, as in an installation that lost it. A blur that cannot be drawn must not let the
// secret out sharp: the save ends with the reason in the window and leaves no file.
TEST(BlurWithoutItsModule, TheSaveSaysWhyAndLeavesNoFile)
{
    // A secret on the screen: what the blur is there to hide.
    ScreenPicture secret([](QPainter& painter, const QRect& rect) {
        painter.fillRect(rect, Qt::white);
        painter.setFont(QFont("DejaVu Sans", 28));
        painter.drawText(QRect(40, 40, 600, 200), Qt::AlignCenter, QStringLiteral("Пароль: 7391-ключ"));
    });
    secret.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&secret));
    AreaRecording session(QRectF(0, 0, 680, 280));
    const QTemporaryDir& dir = session.dir;
    const QString& saved = session.saved;
    ScreenRecordingController controller(&session.settings, [] { return true; }, session.services);
    RecordingUIModel& model = controller.model();
    ASSERT_NO_FATAL_FAILURE(recordAndStop(controller));
    ASSERT_FALSE(model.message()) << model.message()->toStdString();

    // The preview cannot blur either, and says so instead of passing a sharp picture for a blurred one.
    controller.review().beginBlurSelection();
    controller.review().finishBlurSelection(QRectF(0, 0, 1, 1));
    const QString unshown = QStringLiteral("Не удалось показать размытие: ") + missingModule.chopped(1) +
                            QStringLiteral(". Без него видео не сохранится.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.message() == unshown; }, 30000))
        << model.message().value_or("(none)").toStdString();
    EXPECT_TRUE(shownIn(controller.window(), unshown)) << "the reason is not in the window";
    keepPicture(controller.window(), "blur-preview-without-its-module.png");

    review::VideoBlurRegion region;
    region.end = model.trim().duration;
    region.keys = {{0, QRectF(0, 0, 1, 1), true}};

    // The export itself: the module's sentence, no file.
    const QString direct = dir.filePath("Direct.mp4");
    try {
        review::VideoBlurExport::prepare(*model.videoSource(), model.trim(), {region}, direct);
        ADD_FAILURE() << "the export saved a video it could not blur";
    } catch (const TarnwickError& error) {
        EXPECT_EQ(error.errorDescription(), missingModule);
    }
    EXPECT_FALSE(QFile::exists(direct));

    // Through the window's save.
    model.setBlurRegions({region});
    bool dismissed = false;
    controller.onDismiss = [&] { dismissed = true; };
    model.saveAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() != RecordingPhase::exporting; }, 60000));
    EXPECT_EQ(model.phase(), RecordingPhase::review) << "the session went on as if saved";
    const QString expected = QStringLiteral("Не удалось сохранить: ") + missingModule.chopped(1) +
                             QStringLiteral(". Запись осталась открытой.");
    EXPECT_EQ(model.message().value_or(""), expected);
    EXPECT_TRUE(shownIn(controller.window(), expected)) << "the reason is not in the window";
    keepPicture(controller.window(), "blur-without-its-module.png");
    EXPECT_FALSE(dismissed);
    EXPECT_FALSE(QFile::exists(saved)) << "a sharp video was saved";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"settings.ini"});
    const QStringList working = filesUnder(dir.filePath("private"));
    EXPECT_TRUE(working.filter(QStringLiteral("Export-")).isEmpty()) << working.join(' ').toStdString();
    EXPECT_TRUE(QFile::exists(*model.videoSource())) << "the recording is still there to save again";
}
