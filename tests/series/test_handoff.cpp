#include "SeriesTestSupport.h"

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

using HandOffTest = SeriesModelTest;

const QByteArray commentText("A1 первый\nA2 второй");
const QString secondCtrlV = QStringLiteral("Снимки вставлены. Нажмите Ctrl+V ещё раз для текста");
const QString handedOver = QStringLiteral("Серия передана. Начните новую с A");
const QString cancelled = QStringLiteral("Вставка отменена. Выберите поле сообщения и повторите");

} // namespace

TEST_F(HandOffTest, ChatPastePostsTheCommentsAndClearsAfterTheRelease)
{
    saveSeries();
    model->handlePaste();
    model->handlePaste(); // a second Ctrl+V while the first one's step waits
    EXPECT_EQ(handOff(), "pending transfer steps 1 posted 0");
    EXPECT_TRUE(imagesOnClipboard());

    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(clipboardText(), commentText);
    EXPECT_EQ(posted, QVector<quint32>{7});
    // Our own Ctrl+V, had the watch reported it, starts nothing.
    model->handlePaste();
    EXPECT_EQ(handOff(), "pending transfer awaiting steps 1 posted 1");
    runStep(AppModel::releaseDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_EQ(model->status(), handedOver);
    // A Ctrl+V of the comments still on the clipboard hands nothing over again.
    model->handlePaste();
    EXPECT_EQ(handOff(), "steps 0 posted 1");
}

TEST_F(HandOffTest, OneCtrlVEndsTheExchangeByModeAndSettings)
{
    struct Case {
        const char* what;
        bool autoClear;
        QStringList comments;
        std::function<void()> publish;
        bool release; // the comments were posted, and released 0.7 s later
        int shotsLeft;
        QString status;
    };
    const QStringList two{QStringLiteral("первый"), QStringLiteral("второй")};
    const Case cases[] = {
        {"chat, autoClear off", false, two, [] {}, true, 1, QStringLiteral("Снимки и комментарии переданы")},
        {"combined", true, two, [&] { model->prepareClipboard(TransferMode::combined); }, false, 0, handedOver},
        {"chat without comments, autoClear off", false, {}, [] {}, false, 1, QStringLiteral("Сначала снимки, затем отдельный текст")},
        {"copied comments", true, two, [&] { model->copyComments(); }, false, 0, handedOver},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model->clear(false);
        posted.clear();
        model->setAutoClear(c.autoClear);
        saveSeries(c.comments);
        c.publish();
        const auto count = board.changeCount();
        const QByteArray text = clipboardText();
        model->handlePaste();
        runStep(AppModel::commentDelayMs);
        if (c.release)
            runStep(AppModel::releaseDelayMs);
        EXPECT_EQ(handOff(), c.release ? "steps 0 posted 1" : "steps 0 posted 0");
        EXPECT_EQ(model->shots().size(), c.shotsLeft);
        EXPECT_EQ(model->status(), c.status);
        EXPECT_EQ(board.changeCount() != count, c.release);
        EXPECT_EQ(clipboardText(), c.release ? commentText : text);
    }
}

TEST_F(HandOffTest, TheCommentsWaitForASecondCtrlVUnlessPostedIntoTheWindowStillInFront)
{
    struct Case {
        const char* what;
        std::optional<platform::ActiveWindow> atCtrlV, atStep;
        bool permission, postSucceeds;
    };
    const Case cases[] = {
        {"no automatic paste", window(7), window(7), false, true},
        {"another window came to the front", window(7), window(9), true, true},
        {"the keyboard refused (modifiers held)", window(7), window(7), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model->clear(false);
        permission = c.permission;
        postSucceeds = c.postSucceeds;
        saveSeries();
        active = c.atCtrlV;
        model->handlePaste();
        active = c.atStep;
        runStep(AppModel::commentDelayMs);
        EXPECT_EQ(handOff(), "awaiting steps 0 posted 0");
        EXPECT_EQ(model->status(), secondCtrlV);
        EXPECT_EQ(clipboardText(), commentText);
        // The user's own second Ctrl+V pastes the text; a second later the series goes.
        model->handlePaste();
        runStep(AppModel::commentDelayMs);
        EXPECT_EQ(handOff(), "steps 0 posted 0");
        EXPECT_EQ(model->shots().size(), 0);
        EXPECT_EQ(model->status(), handedOver);
    }
}

TEST_F(HandOffTest, NothingStartsOrTheStepsStopWhenTheSeriesOrClipboardChanges)
{
    // A change before the Ctrl+V: nothing starts and the clipboard stays. During the wait for
    // the comment step: it does nothing. During the wait for the release: the series stays and
    // the comments wait for a Ctrl+V.
    enum Phase { before, comment, release };
    struct Case { const char* what; Phase phase; std::function<void()> change; int shotsLeft = 1; };
    const Case cases[] = {
        {"images mode", before, [&] { model->prepareClipboard(TransferMode::images); }},
        {"another program's clipboard", before, [&] { board.takeByOtherProgram(); }},
        {"a shot saved", comment, [&] { model->save(shotWithComments({}), {}, false); }, 2},
        {"another program took the clipboard", comment, [&] { board.takeByOtherProgram(); }},
        {"another program took the clipboard", release, [&] { board.takeByOtherProgram(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model->clear(false);
        posted.clear();
        saveSeries();
        model->prepareClipboard(TransferMode::chat);
        if (c.phase == before)
            c.change();
        const auto count = board.changeCount();
        model->handlePaste();
        if (c.phase == before) {
            EXPECT_EQ(board.changeCount(), count);
        } else {
            if (c.phase == comment)
                c.change();
            runStep(AppModel::commentDelayMs);
        }
        if (c.phase == release) {
            c.change();
            runStep(AppModel::releaseDelayMs);
            EXPECT_EQ(handOff(), "awaiting steps 0 posted 1");
        } else {
            EXPECT_EQ(handOff(), "steps 0 posted 0");
        }
        EXPECT_TRUE(c.phase != comment || clipboardText() != commentText);
        EXPECT_EQ(model->shots().size(), c.shotsLeft);
    }
}

TEST_F(HandOffTest, APublicationErrorStopsWithTheImagesPasted)
{
    saveSeries();
    model->handlePaste();
    board.failWrites = true;
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Буфер обмена недоступен. Попробуйте снова.")});
    EXPECT_EQ(model->status(), alerts.value(0));
    EXPECT_EQ(handOff(), "steps 0 posted 0");
}

TEST_F(HandOffTest, PasteAllRunsTheWholeExchangeInTheTargetOrRefusesOrCancels)
{
    saveSeries();
    permission = false;
    model->pasteAll(window(7));
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение XTEST на X-сервере"));
    EXPECT_EQ(handOff(), "steps 0 posted 0");
    permission = true;
    board.takeByOtherProgram(); // pasteAll renders the series anew
    active = window(3);
    model->pasteAll(window(7));
    EXPECT_EQ(activated, QVector<quint32>{7});
    model->pasteAll(window(7)); // the button again while waiting
    EXPECT_EQ(handOff(), "transfer steps 1 posted 0");
    active = window(7); // the window manager did as asked
    runStep(AppModel::automaticPasteDelayMs);
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(posted, (QVector<quint32>{7, 7}));
    runStep(AppModel::releaseDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());

    // The target did not come to the front.
    saveSeries();
    posted.clear();
    model->pasteAll(window(7));
    postSucceeds = false;
    runStep(AppModel::automaticPasteDelayMs);
    EXPECT_EQ(model->status(), cancelled);
    EXPECT_EQ(handOff(), "steps 0 posted 0");
}

TEST_F(HandOffTest, AStepOutlivingTheModelDoesNothing)
{
    saveSeries();
    model->handlePaste();
    const int publications = board.publications();
    model.reset();
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(board.publications(), publications);
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(HandOffTest, WithoutAnXServerTheWatchIsMissingAndSaysWhy)
{
    auto watching = std::make_unique<AppModel>(bridge, settings, true, QStringLiteral(":65000"));
    watching->enableMonitoring();
    EXPECT_FALSE(watching->monitoring());
    EXPECT_EQ(watching->status(), QStringLiteral("Нет связи с X-сервером «:65000»."));
}

TEST_F(HandOffTest, AReplacedTransfersFolderGoesOnceNoPasteOfItIsPending)
{
    const auto folders = [&] { return entries(bridge.clipboardFolder()); };
    const auto sorted = [](QStringList names) {
        names.sort();
        return names;
    };
    saveSeries();
    const QString first = QFileInfo(bridge.packet()->directory).fileName();
    model->handlePaste();
    saveSeries(); // replaces the first on the clipboard while a paste of it is pending
    const QString second = QFileInfo(bridge.packet()->directory).fileName();
    EXPECT_EQ(folders(), sorted({first, second}));
    runStep(AppModel::commentDelayMs);
    bridge.copyUnmarkedImage(model->shots().front());
    bridge.copyUnmarkedImage(model->shots().front());
    for (int i = 0; i < 3; ++i)
        saveSeries();
    // Only the last series is left, for repeating it.
    EXPECT_EQ(folders(), QStringList{QFileInfo(bridge.packet()->directory).fileName()});
}
