#include "PulseDaemon.h"
#include "RecordingTestSupport.h"
#include "recording/ScreenRecordingController.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;
using namespace tarnwick::test;

namespace {

// The index of the loaded module whose arguments contain `argument`, as `pactl` lists them.
QString moduleWith(const QString& argument)
{
    QProcess pactl;
    pactl.start("pactl", {"list", "short", "modules"});
    pactl.waitForFinished(5000);
    for (const QString& line : QString::fromUtf8(pactl.readAllStandardOutput()).split(u'\n'))
        if (line.contains(argument))
            return line.section(u'\t', 0, 0);
    return {};
}

} // namespace

// A headset unplugged, or the speakers' sink gone, in the middle of a recording with both
// sources: the session ends at once with the reason and keeps what was recorded up to then.
TEST(RecordingSession, ALostAudioSourceEndsTheSessionAndKeepsTheRecording)
{
    struct Case {
        const char* module; // what is unloaded: the microphone's source, or the default sink
        const char* sentence;
    };
    for (const Case& c : {Case{"source_name=tarnwick_mic", "Запись прервана: Запись микрофона прервана."},
                          Case{"sink_name=tarnwick_speakers", "Запись прервана: Запись системного звука прервана."}}) {
        SCOPED_TRACE(c.module);
        PulseDaemon pulse;
        ASSERT_TRUE(PulseDaemon::pactl({"set-default-source", "tarnwick_mic"}));
        QProcess speakers, microphone;
        PulseDaemon::playTone(speakers, "tarnwick_speakers", 1000);
        PulseDaemon::playTone(microphone, "tarnwick_mic_feed", 600);
        platform::SerialQueue listenerQueue("listener");
        const auto listener = PulseDaemon::promptListener(listenerQueue);

        QTemporaryDir dir;
        QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
        settings.setValue("recordingCodec", "h264");
        settings.setValue("recordingSystemAudio", true);
        settings.setValue("recordingMicrophone", true);
        settings.setValue("recordingSaveDirectory", dir.filePath("saved"));
        RecordingServices services = RecordingServices::system();
        services.temporaryRoot = dir.filePath("private");
        ScreenRecordingController controller(&settings, [] { return true; }, services);
        RecordingUIModel& model = controller.model();
        controller.present();
        model.startAction();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::recording; }, 30000))
            << model.message().value_or("").toStdString();
        // Both sources carry sound: the session records on while two seconds reach the disk.
        ASSERT_TRUE(waitForRecorded(services.temporaryRoot, 2.0));
        EXPECT_EQ(model.phase(), RecordingPhase::recording);
        const double before = writtenVideo(workingRecording(services.temporaryRoot)).seconds;

        const QString module = moduleWith(c.module);
        ASSERT_FALSE(module.isEmpty());
        ASSERT_TRUE(PulseDaemon::pactl({"unload-module", module}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() != RecordingPhase::recording; }, 30000))
            << "the session goes on without its source";
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.phase() == RecordingPhase::review; }, 30000));
        EXPECT_EQ(model.message().value_or(""), QString::fromUtf8(c.sentence));

        const QString file = model.videoSource().value_or("");
        const QJsonObject info = probe(file);
        EXPECT_EQ(info["streams"].toArray().size(), 2) << file.toStdString();
        EXPECT_GE(info["format"].toObject()["duration"].toString().toDouble(), before) << "kept up to the loss";
        // Every video frame and audio packet decodes (ffprobe decodes them to count them).
        const FrameCounts decoded = countFrames(file);
        EXPECT_EQ(decoded.errors, "");
        const QStringList& counts = decoded.counts;
        ASSERT_EQ(counts.size(), 2);
        EXPECT_GE(counts[0].toInt(), 15) << "video frames (a still screen: ten a second)";
        EXPECT_GE(counts[1].toInt(), 50) << "audio frames";
        for (QProcess* tone : {&speakers, &microphone}) {
            tone->kill();
            tone->waitForFinished();
        }
    }
}
