#include "EnginesOnDemand.h"

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

TEST_F(EnginesOnDemand, AtRestTheProgramHoldsNoEngineAndTextCaptureAndRecordingBringInTheirOwn)
{
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(mapped(effects + recognition + recording), QSet<QString>());

    captureText(QStringLiteral("Съешь ещё этих булок 2026"));
    QString read;
    ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("CLIPBOARD") != 0; }, 60s)) << "no text on the clipboard";
    read = QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING")));
    EXPECT_EQ(read.trimmed(), QStringLiteral("Съешь ещё этих булок 2026"));
    EXPECT_EQ(mapped(recognition), QSet<QString>(recognition.begin(), recognition.end()));
    EXPECT_EQ(mapped(recording), QSet<QString>()) << "reading text loaded the recorder";

    // "Запись экрана…" is the tray menu's sixth command.
    ASSERT_TRUE(openTrayMenu());
    for (int i = 0; i < 6; ++i)
        x.chord({x.keycodeOf(XK_Down)});
    x.chord({x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return !windows(QStringLiteral("^Tarnwick · Запись экрана$")).isEmpty(); }, 30s))
        << "no recording window";
    const QSet<QString> recorder = mapped(recording);
    for (const char* library : {"libavcodec", "libavformat", "libtarnwick_recording", "libtarnwick_recording_review"})
        EXPECT_TRUE(recorder.contains(QString::fromLatin1(library))) << library;
}

// A module missing from an installation: the command that needs it says so, the rest goes on.
TEST_F(EnginesOnDemand, WithoutItsModuleTextCaptureSaysSoAndTheProgramGoesOn)
{
    startInstalled([](const QString&, const QString&) { return true; });
    ASSERT_FALSE(HasFatalFailure());
    expectTextCaptureRefused("missing-module");
}

// A module cut short (a broken update, a full disk at install) is mapped past the end of its
// file by the loader, which kills the program at the first touch: it is refused like a missing one.
TEST_F(EnginesOnDemand, AModuleCutShortIsRefusedLikeAMissingOneAndTheProgramGoesOn)
{
    startInstalled(cutTo(100000));
    ASSERT_FALSE(HasFatalFailure());
    expectTextCaptureRefused("cut-module");
}

} // namespace
} // namespace tarnwick::test
