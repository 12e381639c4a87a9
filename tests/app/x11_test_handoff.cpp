#include "support/Xvfb.h"

#include "X11HandOff.h"

#include <QCoreApplication>
#include <QTimer>
#include <utility>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

const QString handedOver = QStringLiteral("Серия передана. Начните новую с A");

class HandOffOnX11 : public X11HandOffTest {
protected:
    void SetUp() override
    {
        X11HandOffTest::SetUp();
        ASSERT_TRUE(model->monitoring()) << hooks->monitor().errorText().toStdString();
        ASSERT_TRUE(model->automaticPasteAllowed());
    }

    // Holds the hand-off's steps, each due its delay after it was asked for, until
    // releaseSteps(): what the chat reads before the next step is then read without
    // a race against that step.
    void holdSteps()
    {
        timeSteps();
        holding = true;
    }
    // Runs the hand-off's steps on timers of the delays they ask for, which add up in `askedMs`.
    void timeSteps()
    {
        model->handOff().after = [this](int ms, std::function<void()> step) {
            askedMs += ms;
            const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            if (holding)
                held.emplace_back(due, std::move(step));
            else
                schedule(due, std::move(step));
        };
    }
    void releaseSteps()
    {
        holding = false;
        for (auto& [due, step] : std::exchange(held, {}))
            schedule(due, std::move(step));
    }
    void schedule(std::chrono::steady_clock::time_point due, std::function<void()> step)
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
        QTimer::singleShot(std::max(left, 0ms), model.get(), std::move(step));
    }

    // Our Ctrl+V reaches the chat with the comments after the hand-off has waited a second since
    // `askedMs` was cleared; the series goes.
    void expectCommentsPasted()
    {
        ASSERT_TRUE(waitForCtrlV());
        EXPECT_GE(askedMs, 1000);
        expectCommentsOffered();
        EXPECT_TRUE(waitUntil([&] { return model->shots().isEmpty(); }));
        EXPECT_EQ(model->status(), handedOver);
        EXPECT_FALSE(model->transferInProgress());
        EXPECT_TRUE(alerts.isEmpty()) << alerts.join(u'\n').toStdString();
    }

    bool holding = false;
    int askedMs = 0;
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::function<void()>>> held;
};

} // namespace

TEST_F(HandOffOnX11, EveryModeOffersExactlyItsTargets)
{
    const QSet<QString> images{QStringLiteral("image/png"), QStringLiteral("text/uri-list"),
                               QStringLiteral("x-special/gnome-copied-files"), ClipboardBridge::tokenType()};
    const QSet<QString> texts{QStringLiteral("text/plain"), QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                              QStringLiteral("STRING"), QStringLiteral("TEXT"), QStringLiteral("text/html"), QStringLiteral("text/rtf")};
    const std::pair<TransferMode, QSet<QString>> cases[] = {{TransferMode::chat, images},
                                                            {TransferMode::images, images},
                                                            {TransferMode::combined, images + texts},
                                                            {TransferMode::comments, texts + QSet{ClipboardBridge::tokenType()}}};
    for (const auto& [mode, targets] : cases) {
        bridge.publish(*bridge.packet(), mode);
        EXPECT_EQ(xclipTargets(), targets) << rawValue(mode);
        if (mode == TransferMode::images)
            expectImagesOffered();
    }
    EXPECT_TRUE(xclipRead(QStringLiteral("text/html")).contains("&lt;b&gt;"));
    EXPECT_EQ(xclipRead(QStringLiteral("text/plain;charset=utf-8")), commentText);
}

TEST_F(HandOffOnX11, CtrlVInTheRussianLayoutPastesTheImagesThenTarnwickTheComments)
{
    ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
    x.lockGroup(1);
    holdSteps();
    // A Ctrl+V in a window of ours hands nothing over. The active window is
    // read a moment after the key; a user does not switch windows within it.
    activate(x.createWindow(QCoreApplication::applicationPid(), "tarnwick", "Tarnwick"));
    const int judged = hooks->monitor().pastesJudged();
    ctrlV();
    ASSERT_TRUE(waitUntil([&] { return hooks->monitor().pastesJudged() > judged; }));
    QCoreApplication::processEvents(); // a report would have been posted by now
    EXPECT_FALSE(model->handOff().pending());
    activate(chat);
    askedMs = 0;
    ctrlV(); // Ctrl+м to the keyboard, Ctrl+V to everyone who pastes
    ASSERT_TRUE(waitForCtrlV());
    ASSERT_TRUE(waitUntil([&] { return !held.empty(); }));
    expectImagesOffered();
    releaseSteps();
    expectCommentsPasted();
    EXPECT_EQ(x.lockedGroup(), 1);
}

TEST_F(HandOffOnX11, PasteAllBringsTheChatForwardAndPastesBoth)
{
    activate(x.createWindow(4343, "editor", "Editor"));
    x.becomeWindowManager();
    platform::ActiveWindow target;
    target.window = chat;
    target.pid = 4242;
    timeSteps();
    askedMs = 0;
    model->handOff().pasteAll(target);
    // Playing the window manager: grant the activation Tarnwick asked for.
    const auto request = x.activationRequest(30s);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->window, chat);
    activate(chat);
    ASSERT_TRUE(waitForCtrlV());
    expectImagesOffered();
    expectCommentsPasted();
}

TEST(HandOffWatch, TheRefreshReinstallsAWatchThatLostItsServer)
{
    Xvfb server({}, Xvfb::Environment::LeaveDisplay);
    SeriesParts<platform::QtClipboardBackend> parts;
    X11HandOffHooks hooks(server.display());
    AppModel model(parts.bridge, parts.settings);
    hooks.install(model);
    ASSERT_TRUE(model.monitoring());
    server.restart();
    ASSERT_TRUE(waitUntil([&] { return !hooks.monitor().isMonitoring(); }));
    model.refresh();
    EXPECT_TRUE(model.monitoring());
    EXPECT_TRUE(hooks.monitor().isMonitoring());
    EXPECT_TRUE(model.automaticPasteAllowed());
}
