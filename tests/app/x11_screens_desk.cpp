#include "SplitDesk.h"

#include "recording/RecordingControlPanel.h"
#include "recording/RecordingTestSupport.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"
#include "recording/review/MediaFiles.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

TEST_F(SplitDesk, RecordsTheSecondMonitorWholeOrInPartWithItsWindowsThere)
{
    QWidget scene; // B shows a gradient; A stays black
    scene.setStyleSheet("background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #d00000, stop:1 #0000d0)");
    scene.setGeometry(b->geometry());
    scene.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene));
    for (const QRect area : {QRect(1920, 0, 1920, 1080), QRect(2000, 100, 640, 480)}) {
        SCOPED_TRACE(area.width());
        settings.setValue("recordingCodec", "h264");
        RecordingServices services = RecordingServices::system();
        services.temporaryRoot = root;
        ScreenRecordingController controller(&settings, [] { return true; }, services);
        x.movePointer(3000, 900); // the user works on B
        controller.present();
        EXPECT_TRUE(onB(controller.window()));
        RecordingOptions options = controller.model().options();
        options.entireDisplay = area.width() == 1920;
        options.showsCursor = false;
        controller.model().setOptions(options);
        controller.model().startAction();
        if (!options.entireDisplay) {
            ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s));
            x.drag(area.left(), area.top(), area.right() + 1, area.bottom() + 1);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().elapsed() >= 1; }, 20000))
            << controller.model().message().value_or("").toStdString();
        EXPECT_TRUE(onB(controller.control()));
        const QImage screen = platform::makeScreenGrabber()->grab(area).convertToFormat(QImage::Format_RGB888);
        controller.model().stopAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().phase() == RecordingPhase::review; }, 20000));
        const QJsonObject video = probe(*controller.model().videoSource())["streams"].toArray()[0].toObject();
        EXPECT_EQ(QSize(video["width"].toInt(), video["height"].toInt()), area.size());
        const QByteArray frame = pictureAt(*controller.model().videoSource(), 0.5);
        ASSERT_EQ(frame.size(), screen.sizeInBytes());
        double difference = 0;
        for (qsizetype i = 0; i < frame.size(); ++i)
            difference += std::abs(uchar(frame[i]) - screen.constBits()[i]);
        // The codec's colour conversion moves levels by up to 18; another monitor or place differs by far more.
        EXPECT_LT(difference / frame.size(), 20) << "the frames show the screen there";
    }
}

TEST_F(SplitDesk, TheEditorOpensOnTheScreenOfTheCaptureElseUnderThePointer)
{
    start();
    QImage shot(300, 200, QImage::Format_RGB32);
    shot.fill(Qt::darkGray);
    shot.setOffset(QPoint(2400, 300)); // where the picker took it
    ASSERT_TRUE(shot.save(dir.filePath("pick.png")));
    qputenv("FAKE_PICK", QFile::encodeName(dir.filePath("pick.png")));
    x.movePointer(100, 100);
    shell->captureScreenshot(ScreenCaptureMode::area);
    ASSERT_TRUE(waitUntil([&] { return shell->editor() && shell->editor()->isVisible(); }, 30s));
    EXPECT_TRUE(onB(shell->editor())) << "the capture's screen, not the pointer's";
    shell->finishEditor(false, false);
    x.movePointer(3000, 500);
    shell->importImage(dir.filePath("pick.png"));
    ASSERT_TRUE(waitUntil([&] { return shell->editor(); }, 30s));
    EXPECT_TRUE(onB(shell->editor())) << "the pointer's screen for an image without a capture";
}
