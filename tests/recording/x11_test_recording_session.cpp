#include "PulseDaemon.h"
#include "platform/AllocatorLimits.h"
#include "RecordingTestSupport.h"
#include "recording/RecordingControlPanel.h"
#include "recording/ScreenRecordingController.h"
#include "review/MediaFiles.h"
#include "support/X11Client.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

TEST(RecordingSession, RecordsStopsFromTheStripAndSavesATrimmedCopy)
{
    PulseDaemon pulse;
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue("recordingCodec", "h264");
    settings.setValue("recordingSystemAudio", true);
    RecordingServices services = RecordingServices::system();
    services.temporaryRoot = dir.filePath("private");
    services.chooseDestination = [&](QWidget*, const QString&) { return std::optional(dir.filePath("Saved.mp4")); };
    ScreenRecordingController controller(&settings, [] { return true; }, services);
    QWidget active;
    active.setGeometry(50, 50, 300, 200);
    active.show();
    active.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&active));
    controller.present();
    active.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&active));

    // What the stop control's clock showed when the stop came.
    double recorded = 0;
    QObject::connect(&controller.model(), &RecordingUIModel::phaseChanged, [&] {
        if (controller.model().phase() == RecordingPhase::stopping)
            recorded = controller.model().elapsed();
    });
    controller.model().startAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().phase() == RecordingPhase::recording; }, 20000))
        << controller.model().message().value_or("").toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().elapsed() >= 2.0; }, 10000));
    ASSERT_TRUE(controller.control()->isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &active) << "the strip must not take the focus";
    const QPoint button = controller.control()->stopButton()->mapToGlobal(QPoint(15, 15));
    X11Client client;
    client.movePointer(button.x(), button.y());
    client.button(1, true);
    client.button(1, false);
    client.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().phase() != RecordingPhase::recording; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().phase() == RecordingPhase::review; }, 20000));
    EXPECT_FALSE(controller.model().message()) << controller.model().message()->toStdString();
    const double length = controller.model().trim().end;
    EXPECT_GE(recorded, 2.0);
    // The video runs from its first grab, which the clock waits for, to the stop, which comes
    // after the clock's last reading: never shorter than the clock said. (How far past the stop
    // the file reaches is the writer's, tested with its own times.)
    EXPECT_GE(length, recorded - 0.02);
    EXPECT_GT(controller.model().fileBytes(), 0);

    const QString source = dir.filePath("source.mp4");
    ASSERT_TRUE(QFile::copy(*controller.model().videoSource(), source));
    bool dismissed = false;
    controller.onDismiss = [&] { dismissed = true; };
    controller.model().setTrim({length, 0.5, 1.5});
    controller.model().saveAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }, 20000));
    const QString saved = dir.filePath("Saved.mp4");
    const QJsonObject info = probe(saved);
    EXPECT_NEAR(info["format"].toObject()["duration"].toString().toDouble(), 1.0, 0.04);
    EXPECT_EQ(info["streams"].toArray()[0].toObject()["codec_name"].toString(), "h264");
    EXPECT_TRUE(packetHashes(source).contains(packetHashes(saved)));
    const QByteArray first = pictureAt(saved, 0);
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(first == pictureAt(source, 0.5));
}

TEST(RecordingSession, MemoryStaysFlatOverRepeatedRecordings)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer brings an allocator of its own";
#endif
    platform::limitAllocatorGrowth(); // as the program does first thing
    const auto residentKb = [] {
        std::ifstream statm("/proc/self/statm");
        long size = 0, resident = 0;
        statm >> size >> resident;
        return resident * (sysconf(_SC_PAGESIZE) / 1024);
    };
    PulseDaemon pulse;
    QTemporaryDir dir;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    settings.setValue("recordingCodec", "h264");
    settings.setValue("recordingSystemAudio", true);
    RecordingServices services = RecordingServices::system();
    services.temporaryRoot = dir.filePath("private");
    services.confirmDiscard = [](QWidget*) { return true; };
    ScreenRecordingController controller(&settings, [] { return true; }, services);
    const auto record = [&] {
        bool dismissed = false;
        controller.onDismiss = [&] { dismissed = true; };
        controller.present();
        controller.model().startAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().phase() == RecordingPhase::recording; }, 30000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().elapsed() >= 1.5; }, 30000));
        controller.model().stopAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller.model().phase() == RecordingPhase::review; }, 30000));
        controller.model().discardAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }, 30000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    for (int i = 0; i < 2; ++i)
        record();
    const long settled = residentKb();
    for (int i = 0; i < 4; ++i)
        record();
    // Without the limits 110–170 MB more; with them up to 30 MB, on a busy machine.
    EXPECT_LT(residentKb() - settled, 56 * 1024) << "kB more after four recordings";
}
