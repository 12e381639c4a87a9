#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <future>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::recording;

namespace {

// Our engine's stand-in: start waits until the test lets it finish.
struct FakeEngine : RecordingEngine {
    std::promise<void> release;
    std::atomic<bool> started{false};
    QString url;
    std::optional<TarnwickError> failure; // what the recording ended with, its file kept
    void start(const platform::Monitor&, const QRectF&, const QRectF&, double, const RecordingOptions&,
               const QString& u) override
    {
        url = u;
        started = true;
        release.get_future().wait();
    }
    RecordingResult stop() override
    {
        QFile file(url);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(1234, 'x'));
        return {url, failure};
    }
};

struct Session {
    QTemporaryDir root;
    QSettings settings{root.filePath("settings.ini"), QSettings::IniFormat};
    bool permitted = true;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    RecordingAreaSelector::Completion selection;
    std::vector<QString> exports;
    std::vector<review::VideoBlurRegion> blurred; // the regions of the last blurred export
    bool exportFails = false;
    // The question about regions not tracked since an edit: how often it came, and the answer.
    int askedUntracked = 0;
    bool keepUntracked = false;
    int destinationsAsked = 0;
    std::unique_ptr<ScreenRecordingController> controller;
    std::vector<bool> captureChanges;

    Session()
    {
        settings.setValue("recordingEntireDisplay", false);
        RecordingServices s;
        s.findDisplay = [](std::uint32_t) { return CaptureDisplay{}; };
        s.makeEngine = [this] { return engine; };
        s.selectArea = [this](const QString&, RecordingAreaSelector::Completion c) {
            selection = std::move(c);
            return std::make_shared<int>(0);
        };
        const auto fakeExport = [this](const char* kind) {
            return [this, kind](const QString& prepared) {
                exports.push_back(kind);
                QFile(prepared).open(QIODevice::WriteOnly);
                if (exportFails)
                    throw TarnwickError("Диск заполнен.");
            };
        };
        s.exportTrimmed = [f = fakeExport("trim")](const QString&, const review::RecordingTrim&, const QString& p) { f(p); };
        s.exportBlurred = [this, f = fakeExport("blur")](const QString&, const review::RecordingTrim&,
                                                         const std::vector<review::VideoBlurRegion>& regions,
                                                         const QString& p) {
            blurred = regions;
            f(p);
        };
        s.install = [](const QString& prepared, const QString& destination) {
            QFile::remove(destination);
            QFile::rename(prepared, destination);
        };
        s.duration = [](const QString&) { return 2.0; };
        s.chooseDestination = [this](QWidget*, const QString&) {
            ++destinationsAsked;
            return std::optional(root.filePath("Saved.mp4"));
        };
        s.confirmUntracked = [this](QWidget*) {
            ++askedUntracked;
            return keepUntracked;
        };
        s.temporaryRoot = root.filePath("private");
        controller = std::make_unique<ScreenRecordingController>(&settings, [this] { return permitted; }, s);
        controller->onCaptureChanged = [this](bool on) { captureChanges.push_back(on); };
        controller->present();
    }
    RecordingUIModel& model() { return controller->model(); }
};

} // namespace

TEST(ScreenRecordingController, RefusedStartAndEscapeReturnToSetup)
{
    Session s;
    s.permitted = false;
    s.model().startAction();
    EXPECT_EQ(s.model().phase(), RecordingPhase::setup);
    EXPECT_TRUE(s.model().message()->startsWith("Нет доступа к экрану."));
    EXPECT_FALSE(QDir(s.root.filePath("private")).exists());
    EXPECT_TRUE(s.captureChanges.empty());
    EXPECT_FALSE(s.controller->holdsScreen());

    s.permitted = true;
    s.model().startAction();
    EXPECT_EQ(s.model().phase(), RecordingPhase::selecting);
    EXPECT_TRUE(s.controller->holdsScreen()) << "the selection's veils cover the screen";
    EXPECT_FALSE(s.model().message());
    EXPECT_FALSE(s.controller->window()->isVisible());
    s.selection(std::nullopt);
    EXPECT_EQ(s.model().phase(), RecordingPhase::setup);
    EXPECT_EQ(s.captureChanges, (std::vector<bool>{true, false}));
    EXPECT_FALSE(s.controller->holdsScreen());
    EXPECT_TRUE(s.controller->window()->isVisible());
}

TEST(ScreenRecordingController, InterruptedStartReachesReviewAndSaveChoosesTheExport)
{
    Session s;
    s.settings.setValue("recordingSaveDirectory", s.root.path());
    s.engine->failure = TarnwickError("Монитор отключён."); // the writer's file comes with it
    s.model().startAction();
    QScreen* screen = QGuiApplication::primaryScreen();
    s.selection(AreaSelection{screen, QRectF(10, 10, 200, 100)});
    EXPECT_EQ(s.model().phase(), RecordingPhase::starting);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.engine->started.load(); }));
    const QString request = s.controller->requestID()->toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(s.engine->url, s.root.filePath("private/Tarnwick-video-" + request + "/Recording.mp4"));
    s.engine->onInterruption(TarnwickError("Монитор отключён."));
    EXPECT_EQ(s.model().phase(), RecordingPhase::starting) << "held until the capture has started";
    EXPECT_TRUE(s.controller->holdsScreen());
    s.engine->release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.model().phase() == RecordingPhase::review; }));
    const QStringList kept = QDir(s.root.path()).entryList({"Tarnwick *.mp4"});
    ASSERT_EQ(kept.size(), 1) << "moved to the save folder at once";
    EXPECT_EQ(s.model().message(), "Запись прервана: Монитор отключён. Записанное сохранено в «" + s.root.filePath(kept[0]) + "».");
    EXPECT_EQ(s.model().fileBytes(), 1234);
    EXPECT_EQ(s.model().trim(), (review::RecordingTrim{2, 0, 2}));
    EXPECT_EQ(s.captureChanges, (std::vector<bool>{true, true, false}));
    EXPECT_FALSE(s.controller->holdsScreen()) << "the review leaves the screen";

    using review::VideoBlurRegion;
    const auto region = [](double start, double end, double gapStart, double gapEnd) {
        VideoBlurRegion r;
        r.start = start;
        r.end = end;
        r.gaps = {{gapStart, gapEnd}};
        return r;
    };
    struct Case {
        VideoBlurRegion region;
        const char* expected; // the exporter run, or nullptr when refused
    };
    s.exportFails = true;
    s.model().setTrim({2, 1, 2});
    for (const Case& c : {Case{region(0, 2, 1.5, 1.8), nullptr}, Case{region(0, 2, 2, 2.5), "blur"},
                          Case{region(0, 1, 0.2, 0.9), "trim"}, Case{region(2, 3, 2.1, 2.2), "trim"}}) {
        s.exports.clear();
        s.model().setBlurRegions({c.region});
        s.model().saveAction();
        if (!c.expected) {
            EXPECT_EQ(s.model().message(), "Проверьте интервалы, где отслеживание потеряло цель, или явно оставьте "
                                           "область неподвижной.");
            EXPECT_TRUE(s.exports.empty());
            continue;
        }
        EXPECT_EQ(s.model().phase(), RecordingPhase::exporting);
        EXPECT_FALSE(s.controller->holdsScreen());
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.model().phase() == RecordingPhase::review; }));
        EXPECT_EQ(s.exports, std::vector<QString>{c.expected});
        EXPECT_EQ(s.model().message(), "Не удалось сохранить: Диск заполнен. Запись осталась открытой.");
        EXPECT_TRUE(QDir(s.root.filePath("private/Tarnwick-video-" + request)).entryList({"Export-*"}).isEmpty());
    }

    s.exportFails = false;
    QString saved;
    bool dismissed = false;
    s.controller->onSaved = [&](const QString& path) { saved = path; };
    s.controller->onDismiss = [&] { dismissed = true; };
    s.model().saveAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }));
    EXPECT_EQ(saved, s.root.filePath("Saved.mp4"));
    EXPECT_TRUE(QFile::exists(saved) && QFile::exists(s.root.filePath(kept[0])));
    EXPECT_FALSE(QDir(s.root.filePath("private/Tarnwick-video-" + request)).exists());
    EXPECT_EQ(s.settings.value("recordingSaveDirectory").toString(), s.root.path());
    EXPECT_EQ(ScreenRecordingController::defaultFileName(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))),
              "Tarnwick 2024-03-05 14.07.09.mp4");
}

// Tracking reported the target lost; a small change of the region's start then clears what was
// tracked. The save does not keep the box standing still there without asking; it goes on only
// when the user chooses to save it as it is, and then with the box where it was left.
TEST(ScreenRecordingController, ASaveAfterAnEditThatClearedTrackingAsks)
{
    Session s;
    s.model().startAction();
    s.selection(AreaSelection{QGuiApplication::primaryScreen(), QRectF(10, 10, 200, 100)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.engine->started.load(); }));
    s.engine->release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.model().phase() == RecordingPhase::recording; }));
    s.model().stopAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.model().phase() == RecordingPhase::review; }));

    RecordingReview& review = s.controller->review();
    review.beginBlurSelection();
    review.finishBlurSelection(QRectF(0.1, 0.1, 0.2, 0.2));
    ASSERT_EQ(s.model().blurRegions().size(), 1u);
    // What tracking left: the box followed to 1 s, then lost.
    review::VideoBlurRegion tracked = s.model().blurRegions().front();
    tracked.keys.push_back({1.0, QRectF(0.5, 0.1, 0.2, 0.2), false});
    tracked.gaps = {{1.0, 2.0}};
    tracked.pending.clear();
    tracked.tracked = true;
    s.model().setBlurRegions({tracked});
    s.model().saveAction();
    EXPECT_EQ(s.model().message(), "Проверьте интервалы, где отслеживание потеряло цель, или явно оставьте "
                                   "область неподвижной.");

    review.changeBlurInterval(0.01, true);
    const review::VideoBlurRegion edited = s.model().blurRegions().front();
    ASSERT_TRUE(edited.gaps.empty() && !edited.tracked) << "the edit cleared what tracking found";
    s.model().saveAction();
    EXPECT_EQ(s.askedUntracked, 1);
    EXPECT_EQ(s.destinationsAsked, 0) << "no file chosen for a save the user turned down";
    EXPECT_TRUE(s.exports.empty());
    EXPECT_EQ(s.model().phase(), RecordingPhase::review);

    s.keepUntracked = true;
    bool dismissed = false;
    s.controller->onDismiss = [&] { dismissed = true; };
    s.model().saveAction();
    EXPECT_EQ(s.askedUntracked, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dismissed; }));
    EXPECT_EQ(s.exports, std::vector<QString>{"blur"});
    ASSERT_EQ(s.blurred.size(), 1u);
    EXPECT_EQ(s.blurred.front(), edited) << "saved with the box as the edit left it";
}
