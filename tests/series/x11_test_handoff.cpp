#include "platform/QtClipboardBackend.h"
#include "series/AppModel.h"
#include "support/X11Client.h"
#include "support/Xvfb.h"

#include "PasteReceiver.h"
#include "SeriesTestSupport.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QTemporaryDir>
#include <X11/keysym.h>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using tarnwick::test::PasteReceiver;
using tarnwick::test::runProcess;
using tarnwick::test::shotWithComments;
using tarnwick::test::stripeRenderer;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;
using tarnwick::test::Xvfb;

namespace {

const QString handedOver = QStringLiteral("Серия передана. Начните новую с A");
const QString commentText = QStringLiteral("A1 первый\nB1 второй <b>");

QStringList formatsOf(const QJsonObject& paste)
{
    QStringList formats;
    for (const QJsonValue& v : paste.value(QStringLiteral("formats")).toArray())
        formats << v.toString();
    return formats;
}

void settle(std::chrono::milliseconds time)
{
    waitUntil([] { return false; }, time);
}

// The whole hand-off for real: Tarnwick's model with its Ctrl+V watch, XTEST
// paste and the Qt clipboard in this process; a chat window in another
// process, active and focused as a window manager would leave it; the user's
// keys typed through XTEST.
class HandOffOnX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        control = x.keycodeOf(XK_Control_L);
        shift = x.keycodeOf(XK_Shift_L);
        v = x.keycodeOf(XK_v);
        ASSERT_NE(control, 0);
        ASSERT_NE(v, 0);
        activate(receiver.window());
        model = std::make_unique<AppModel>(bridge, settings, true);
        model->alert = [this](const QString& s) { alerts << s; };
        ASSERT_TRUE(model->monitoring()) << model->monitor().errorText().toStdString();
        ASSERT_TRUE(model->automaticPasteAllowed());
    }

    void activate(std::uint32_t window)
    {
        x.setActiveWindow(window);
        x.focus(window);
    }

    // Two shots with a comment each, saved from the editor: the clipboard holds the images for a chat.
    void saveSeries()
    {
        Screenshot a = shotWithComments({QStringLiteral("первый")}, Qt::red);
        Screenshot b = shotWithComments({QStringLiteral("второй <b>")}, Qt::blue);
        model->save(a, a.annotations, true);
        model->save(b, b.annotations, true);
        ASSERT_TRUE(bridge.isCurrent());
        ASSERT_EQ(bridge.mode(), TransferMode::chat);
    }

    // The receiver got the images and then, posted by us, the comment text; the series went.
    // `since`: just before the Ctrl+V (or the paste action) that starts the hand-off.
    void expectImagesThenComments(std::chrono::steady_clock::time_point since)
    {
        ASSERT_TRUE(receiver.waitForPastes(1));
        const QJsonObject images = receiver.pastes()[0];
        EXPECT_TRUE(formatsOf(images).contains(QStringLiteral("image/png"))) << formatsOf(images).join(u' ').toStdString();
        EXPECT_FALSE(images.contains(QStringLiteral("text"))) << QJsonDocument(images).toJson().toStdString();
        EXPECT_EQ(images.value(QStringLiteral("pixel")).toString(), QStringLiteral("#ff0000"));
        const QJsonArray urls = images.value(QStringLiteral("urls")).toArray();
        ASSERT_EQ(urls.size(), 2);
        EXPECT_TRUE(urls[0].toString().endsWith(QStringLiteral("/A.png")));
        EXPECT_TRUE(urls[1].toString().endsWith(QStringLiteral("/B.png")));

        ASSERT_TRUE(receiver.waitForPastes(2));
        EXPECT_GE(std::chrono::steady_clock::now() - since, 1000ms) << "the text follows a second later";
        const QJsonObject text = receiver.pastes()[1];
        EXPECT_EQ(text.value(QStringLiteral("text")).toString(), commentText);
        EXPECT_FALSE(formatsOf(text).contains(QStringLiteral("image/png")));

        EXPECT_TRUE(waitUntil([&] { return model->shots().isEmpty(); }));
        EXPECT_EQ(model->status(), handedOver);
        // Our own Ctrl+V started no second round.
        settle(1500ms);
        EXPECT_EQ(receiver.pastes().size(), 2);
        EXPECT_FALSE(model->transferInProgress());
        EXPECT_TRUE(alerts.isEmpty()) << alerts.join(u'\n').toStdString();
    }

    X11Client x;
    PasteReceiver receiver;
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    platform::QtClipboardBackend board;
    ClipboardBridge bridge{board, root.path(), stripeRenderer};
    std::unique_ptr<AppModel> model;
    QStringList alerts;
    std::uint8_t control = 0, shift = 0, v = 0;
};

} // namespace

TEST_F(HandOffOnX11, CtrlVPastesTheImagesThenTarnwickPastesTheComments)
{
    saveSeries();
    const auto since = std::chrono::steady_clock::now();
    x.chord({control, v});
    expectImagesThenComments(since);
}

TEST_F(HandOffOnX11, WorksWithTheRussianLayoutActive)
{
    ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ru")}), 0);
    x.lockGroup(1);
    ASSERT_EQ(x.lockedGroup(), 1);
    saveSeries();
    const auto since = std::chrono::steady_clock::now();
    x.chord({control, v}); // Ctrl+м to the keyboard, Ctrl+V to everyone who pastes
    expectImagesThenComments(since);
    EXPECT_EQ(x.lockedGroup(), 1);
}

TEST_F(HandOffOnX11, CtrlShiftVAndOurOwnWindowsStartNothing)
{
    saveSeries();
    x.chord({control, shift, v});
    const std::uint32_t own = x.createWindow(QCoreApplication::applicationPid(), "tarnwick", "Tarnwick");
    activate(own);
    x.chord({control, v});
    settle(1500ms);
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_EQ(bridge.mode(), TransferMode::chat);
    EXPECT_EQ(model->shots().size(), 2);
    EXPECT_TRUE(receiver.pastes().isEmpty());

    // The same series still goes with a plain Ctrl+V in the chat.
    activate(receiver.window());
    const auto since = std::chrono::steady_clock::now();
    x.chord({control, v});
    expectImagesThenComments(since);
}

TEST_F(HandOffOnX11, PasteAllBringsTheChatForwardAndPastesBoth)
{
    const std::uint32_t other = x.createWindow(4242, "editor", "Editor");
    activate(other);
    saveSeries();
    x.becomeWindowManager();
    platform::ActiveWindow target;
    target.window = receiver.window();
    target.pid = receiver.pid();
    const auto since = std::chrono::steady_clock::now();
    model->pasteAll(target);
    // Playing the window manager: grant the activation Tarnwick asked for.
    const auto request = x.activationRequest(2s);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->window, receiver.window());
    activate(request->window);
    expectImagesThenComments(since);
}

TEST_F(HandOffOnX11, TheCommentsWaitForASecondCtrlVWhenTheChatLostTheFront)
{
    const std::uint32_t other = x.createWindow(4242, "editor", "Editor");
    saveSeries();
    x.chord({control, v});
    // The user moves on within the second: once the watch has taken the
    // Ctrl+V, not once the chat has pasted, which may take longer than that.
    ASSERT_TRUE(waitUntil([&] { return model->transferInProgress(); }));
    activate(other);
    ASSERT_TRUE(receiver.waitForPastes(1));
    ASSERT_TRUE(waitUntil([&] { return model->awaitingComments(); }));
    EXPECT_EQ(model->status(), QStringLiteral("Снимки вставлены. Нажмите Ctrl+V ещё раз для текста"));
    settle(300ms);
    EXPECT_EQ(receiver.pastes().size(), 1);

    activate(receiver.window());
    x.chord({control, v});
    ASSERT_TRUE(receiver.waitForPastes(2));
    EXPECT_EQ(receiver.pastes()[1].value(QStringLiteral("text")).toString(), commentText);
    EXPECT_TRUE(waitUntil([&] { return model->shots().isEmpty(); }));
    EXPECT_EQ(model->status(), handedOver);
}

TEST(HandOffWatch, TheRefreshReinstallsAWatchThatLostItsServer)
{
    Xvfb server({}, Xvfb::Environment::LeaveDisplay);
    tarnwick::test::SeriesParts<platform::QtClipboardBackend> parts;
    AppModel model(parts.bridge, parts.settings, true, server.display());
    ASSERT_TRUE(model.monitoring());

    server.restart();
    ASSERT_TRUE(waitUntil([&] { return !model.monitor().isMonitoring(); }));
    model.refresh();
    EXPECT_TRUE(model.monitoring());
    EXPECT_TRUE(model.monitor().isMonitoring());
    EXPECT_TRUE(model.automaticPasteAllowed());
}
