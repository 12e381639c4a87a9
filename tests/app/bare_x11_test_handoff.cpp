// Runs against an Xvfb started without RECORD (and so without XTEST).

#include "X11HandOff.h"

using namespace tarnwick;
using namespace tarnwick::test;

using HandOffWithoutRecord = X11HandOffTest;

TEST_F(HandOffWithoutRecord, SaysWhatIsMissingAndTheCommentsGoByHand)
{
    EXPECT_FALSE(model->automaticPasteAllowed());
    model->enableMonitoring();
    EXPECT_FALSE(model->monitoring());
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение RECORD на X-сервере"));
    platform::ActiveWindow target;
    target.window = chat;
    model->handOff().pasteAll(target);
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение XTEST на X-сервере"));
    EXPECT_FALSE(model->transferInProgress());
    expectImagesOffered();

    // A Ctrl+V reported anyway: the comment step cannot type and asks the user.
    model->handOff().handlePaste();
    ASSERT_TRUE(waitUntil([&] { return model->awaitingComments(); }, std::chrono::seconds(5)));
    EXPECT_EQ(model->status(), QStringLiteral("Снимки вставлены. Нажмите Ctrl+V ещё раз для текста"));
    EXPECT_FALSE(model->transferInProgress());
    expectCommentsOffered();
    EXPECT_EQ(model->shots().size(), 2);
    EXPECT_TRUE(alerts.isEmpty());
}
