// Runs against an Xvfb started without RECORD (and so without XTEST).

#include "platform/QtClipboardBackend.h"
#include "series/AppModel.h"
#include "support/X11Client.h"

#include "PasteReceiver.h"
#include "SeriesTestSupport.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::PasteReceiver;
using tarnwick::test::shotWithComments;
using tarnwick::test::stripeRenderer;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;

namespace {

const QString commentText = QStringLiteral("A1 первый\nB1 второй");

class HandOffWithoutRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        x.setActiveWindow(receiver.window());
        x.focus(receiver.window());
        model = std::make_unique<AppModel>(bridge, settings, true);
        model->alert = [this](const QString& s) { alerts << s; };
        Screenshot a = shotWithComments({QStringLiteral("первый")}, Qt::red);
        Screenshot b = shotWithComments({QStringLiteral("второй")}, Qt::blue);
        model->save(a, a.annotations, true);
        model->save(b, b.annotations, true);
        ASSERT_TRUE(bridge.isCurrent());
    }

    // The images are on the clipboard for the user's own paste.
    void expectImages(int index)
    {
        ASSERT_TRUE(receiver.waitForPastes(index + 1));
        const QJsonObject images = receiver.pastes()[index];
        EXPECT_EQ(images.value(QStringLiteral("pixel")).toString(), QStringLiteral("#ff0000"));
        EXPECT_EQ(images.value(QStringLiteral("urls")).toArray().size(), 2);
    }

    X11Client x;
    PasteReceiver receiver;
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    platform::QtClipboardBackend board;
    ClipboardBridge bridge{board, root.path(), stripeRenderer};
    std::unique_ptr<AppModel> model;
    QStringList alerts;
};

} // namespace

TEST_F(HandOffWithoutRecord, SaysWhatIsMissingAndTheCommentsGoByHand)
{
    EXPECT_FALSE(model->monitoring());
    EXPECT_FALSE(model->automaticPasteAllowed());
    EXPECT_TRUE(model->monitor().errorText().contains(QStringLiteral("RECORD")));
    model->refresh();
    model->refresh();
    EXPECT_FALSE(model->monitoring());

    model->enableMonitoring();
    EXPECT_FALSE(model->monitoring());
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение RECORD на X-сервере"));

    platform::ActiveWindow target;
    target.window = receiver.window();
    model->pasteAll(target);
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение XTEST на X-сервере"));
    EXPECT_FALSE(model->transferInProgress());

    receiver.pasteWithoutKeys();
    expectImages(0);
    model->copyComments();
    EXPECT_EQ(model->status(), QStringLiteral("Комментарии в буфере — вставьте через Ctrl+V"));
    receiver.pasteWithoutKeys();
    ASSERT_TRUE(receiver.waitForPastes(2));
    EXPECT_EQ(receiver.pastes()[1].value(QStringLiteral("text")).toString(), commentText);
    EXPECT_TRUE(alerts.isEmpty());
}

TEST_F(HandOffWithoutRecord, ACtrlVReportedAnywayLeavesTheCommentsForASecondPaste)
{
    receiver.pasteWithoutKeys();
    expectImages(0);
    // As if the watch had seen it: the comment step cannot type and asks the user.
    model->handlePaste();
    ASSERT_TRUE(waitUntil([&] { return model->awaitingComments(); }));
    EXPECT_EQ(model->status(), QStringLiteral("Снимки вставлены. Нажмите Ctrl+V ещё раз для текста"));
    EXPECT_FALSE(model->transferInProgress());
    receiver.pasteWithoutKeys();
    ASSERT_TRUE(receiver.waitForPastes(2));
    EXPECT_EQ(receiver.pastes()[1].value(QStringLiteral("text")).toString(), commentText);
    EXPECT_EQ(model->shots().size(), 2);
}
