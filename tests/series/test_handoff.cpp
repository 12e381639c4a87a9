#include "series/AppModel.h"
#include "support/FakeClipboardBackend.h"

#include "SeriesTestSupport.h"

#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>

using namespace tarnwick;
using tarnwick::test::FakeClipboardBackend;
using tarnwick::test::shotWithComments;
using tarnwick::test::stripeRenderer;

namespace {

// A display no server listens on: the hooks' defaults must never reach a real one here.
const QString noDisplay = QStringLiteral(":65000");

platform::ActiveWindow window(quint32 id)
{
    platform::ActiveWindow w;
    w.window = id;
    w.pid = 4000 + id;
    return w;
}

// The hand-off on a fake clock: delayed steps wait in `steps` until the test
// runs them; the hooks play the X server (active window, XTEST, activation).
class HandOffTest : public ::testing::Test {
protected:
    struct Step {
        int ms;
        std::function<void()> run;
    };

    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    FakeClipboardBackend board;
    ClipboardBridge bridge{board, root.path(), stripeRenderer};
    std::deque<Step> steps;
    std::optional<platform::ActiveWindow> active = window(7);
    bool permission = true;
    bool postSucceeds = true;
    QVector<quint32> posted, activated;
    QStringList alerts;
    std::unique_ptr<AppModel> model = makeModel();

    std::unique_ptr<AppModel> makeModel()
    {
        auto m = std::make_unique<AppModel>(bridge, settings, false, noDisplay);
        m->alert = [this](const QString& s) { alerts << s; };
        m->beep = [] {};
        m->pastePermission = [this] { return permission; };
        m->postPaste = [this](quint32 w) {
            if (!postSucceeds)
                return false;
            posted << w;
            return true;
        };
        m->frontmostWindow = [this] { return active; };
        m->activateWindow = [this](quint32 w) { activated << w; };
        m->after = [this](int ms, std::function<void()> run) { steps.push_back({ms, std::move(run)}); };
        return m;
    }

    // Runs the earliest pending step, which must have been scheduled with `ms`.
    void runStep(int ms)
    {
        ASSERT_FALSE(steps.empty()) << "no step pending";
        Step step = std::move(steps.front());
        steps.pop_front();
        EXPECT_EQ(step.ms, ms);
        step.run();
    }

    void saveSeries(const QStringList& comments = {QStringLiteral("первый"), QStringLiteral("второй")})
    {
        const Screenshot shot = shotWithComments(comments);
        ASSERT_TRUE(model->save(shot, shot.annotations, true));
    }

    QByteArray clipboardText() const { return board.publishedData(QStringLiteral("text/plain")); }
    bool imagesOnClipboard() const { return !board.publishedData(QStringLiteral("image/png")).isEmpty(); }
};

const QString secondCtrlV = QStringLiteral("Снимки вставлены. Нажмите Ctrl+V ещё раз для текста");
const QString handedOver = QStringLiteral("Серия передана. Начните новую с A");
const QString chatReady = QStringLiteral("Сначала снимки, затем отдельный текст");

} // namespace

TEST_F(HandOffTest, ChatPastePostsTheCommentsAndClearsAfterTheRelease)
{
    saveSeries();
    model->handlePaste();
    EXPECT_TRUE(model->pastePending());
    EXPECT_TRUE(model->transferInProgress());
    model->handlePaste(); // a second Ctrl+V while the first one's step waits
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(imagesOnClipboard());

    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(clipboardText(), QByteArray("A1 первый\nA2 второй"));
    EXPECT_FALSE(imagesOnClipboard());
    EXPECT_TRUE(model->awaitingComments());
    EXPECT_EQ(model->transferMode(), TransferMode::comments);
    EXPECT_TRUE(model->clipboardReady());
    EXPECT_EQ(posted, QVector<quint32>{7});
    EXPECT_TRUE(model->transferInProgress());

    // Our own Ctrl+V, had the watch reported it, starts nothing.
    model->handlePaste();
    ASSERT_EQ(steps.size(), 1u);
    runStep(AppModel::releaseDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_EQ(model->status(), handedOver);
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_FALSE(model->pastePending());
    EXPECT_FALSE(model->awaitingComments());
    EXPECT_TRUE(model->lastTransferAvailable());

    // A Ctrl+V of the comments still on the clipboard hands nothing over again.
    model->handlePaste();
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(posted.size(), 1);
}

TEST_F(HandOffTest, AutomaticPasteWithAutoClearOffKeepsTheSeries)
{
    model->setAutoClear(false);
    saveSeries();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    runStep(AppModel::releaseDelayMs);
    EXPECT_EQ(model->shots().size(), 1);
    EXPECT_EQ(model->status(), QStringLiteral("Снимки и комментарии переданы"));
    EXPECT_FALSE(model->awaitingComments());
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_EQ(clipboardText(), QByteArray("A1 первый\nA2 второй"));
}

TEST_F(HandOffTest, WithoutAutomaticPasteASecondCtrlVDeliversTheComments)
{
    permission = false;
    saveSeries();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(model->status(), secondCtrlV);
    EXPECT_TRUE(model->awaitingComments());
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(clipboardText(), QByteArray("A1 первый\nA2 второй"));

    // The user's own second Ctrl+V pastes the text; a second later the series goes.
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_EQ(model->status(), handedOver);
}

TEST_F(HandOffTest, WithAutoClearOffTheSecondCtrlVLeavesTheCommentsWaiting)
{
    permission = false;
    model->setAutoClear(false);
    saveSeries();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(model->shots().size(), 1);
    EXPECT_TRUE(model->awaitingComments());
    EXPECT_EQ(model->status(), secondCtrlV);
    EXPECT_EQ(clipboardText(), QByteArray("A1 первый\nA2 второй"));
}

TEST_F(HandOffTest, CommentsArePostedOnlyIntoTheWindowStillInFront)
{
    struct Case {
        const char* what;
        std::optional<platform::ActiveWindow> atCtrlV, atStep;
        bool postSucceeds;
    };
    const Case cases[] = {
        {"another window came to the front", window(7), window(9), true},
        {"no window is active any more", window(7), std::nullopt, true},
        {"no window was active at the Ctrl+V", std::nullopt, window(7), true},
        {"the keyboard refused (modifiers held)", window(7), window(7), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        saveSeries();
        active = c.atCtrlV;
        postSucceeds = c.postSucceeds;
        model->handlePaste();
        active = c.atStep;
        runStep(AppModel::commentDelayMs);
        EXPECT_TRUE(posted.isEmpty());
        EXPECT_EQ(model->status(), secondCtrlV);
        EXPECT_TRUE(model->awaitingComments());
        EXPECT_EQ(clipboardText(), QByteArray("A1 первый\nA2 второй"));
        EXPECT_TRUE(steps.empty());
        model->clear(false);
    }
}

TEST_F(HandOffTest, ImagesModeNeverReacts)
{
    saveSeries();
    model->prepareClipboard(TransferMode::images);
    model->handlePaste();
    EXPECT_TRUE(steps.empty());
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_TRUE(imagesOnClipboard());
}

TEST_F(HandOffTest, CombinedModeClearsOnlyWithAutoClear)
{
    saveSeries();
    model->prepareClipboard(TransferMode::combined);
    const int publications = board.publications();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_EQ(model->status(), handedOver);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(board.publications(), publications);

    model->setAutoClear(false);
    saveSeries();
    model->prepareClipboard(TransferMode::combined);
    model->handlePaste();
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(model->shots().size(), 1);
}

TEST_F(HandOffTest, ChatWithoutCommentsClearsOrChangesNothing)
{
    saveSeries({});
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_TRUE(imagesOnClipboard());
    EXPECT_TRUE(posted.isEmpty());

    model->setAutoClear(false);
    saveSeries({});
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(model->shots().size(), 1);
    EXPECT_EQ(model->status(), chatReady);
    EXPECT_FALSE(model->awaitingComments());
    EXPECT_FALSE(model->transferInProgress());
}

TEST_F(HandOffTest, ChangesDuringTheWaitCancelTheCommentStep)
{
    struct Case {
        const char* what;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"a shot saved", [&] { model->save(shotWithComments({}), {}, false); }},
        {"a deletion", [&] { model->deleteShot(QUuid::createUuid()); }},
        {"another program took the clipboard", [&] { board.takeByOtherProgram(); }},
        {"the panel published again", [&] { model->prepareClipboard(TransferMode::chat); }},
        {"recognised text copied", [&] { model->copyRecognizedText(QStringLiteral("текст"), false); }},
        {"the editor opened", [&] { model->setBusy(true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model->setBusy(false);
        model->clear(false);
        saveSeries();
        model->handlePaste();
        c.change();
        runStep(AppModel::commentDelayMs);
        EXPECT_FALSE(model->pastePending());
        EXPECT_FALSE(model->transferInProgress());
        EXPECT_FALSE(model->awaitingComments());
        EXPECT_FALSE(model->shots().isEmpty());
        EXPECT_TRUE(posted.isEmpty());
        EXPECT_NE(clipboardText(), QByteArray("A1 первый\nA2 второй"));
        EXPECT_TRUE(steps.empty());
    }
}

TEST_F(HandOffTest, NoStepWhileBusyOrForAForeignClipboard)
{
    saveSeries();
    model->setBusy(true);
    model->handlePaste();
    EXPECT_TRUE(steps.empty());
    model->setBusy(false);
    board.takeByOtherProgram();
    model->handlePaste();
    EXPECT_TRUE(steps.empty());
    EXPECT_FALSE(model->transferInProgress());
}

TEST_F(HandOffTest, ChangesDuringTheReleaseCancelIt)
{
    saveSeries();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    board.takeByOtherProgram();
    runStep(AppModel::releaseDelayMs);
    EXPECT_EQ(model->shots().size(), 1);
    EXPECT_TRUE(model->awaitingComments());
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_FALSE(model->pastePending());

    model->clear(false);
    saveSeries();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    model->save(shotWithComments({}), {}, false);
    runStep(AppModel::releaseDelayMs);
    EXPECT_EQ(model->shots().size(), 2);
}

TEST_F(HandOffTest, APublicationErrorStopsWithTheImagesPasted)
{
    saveSeries();
    model->handlePaste();
    board.failWrites = true;
    // The fake counts a failed write as a change; keep the step's guard from hiding the error.
    const auto before = board.changeCount();
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(board.changeCount(), before + 1);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Буфер обмена недоступен. Попробуйте снова.")});
    EXPECT_EQ(model->status(), QStringLiteral("Буфер обмена недоступен. Попробуйте снова."));
    EXPECT_FALSE(model->awaitingComments());
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(model->shots().size(), 1);
}

TEST_F(HandOffTest, CopiedCommentsClearTheSeriesAfterTheirCtrlV)
{
    saveSeries();
    model->copyComments();
    model->handlePaste();
    runStep(AppModel::commentDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(HandOffTest, PasteAllRunsTheWholeExchangeInTheTarget)
{
    saveSeries();
    board.takeByOtherProgram(); // pasteAll renders the series anew
    active = window(3);
    model->pasteAll(window(7));
    EXPECT_EQ(activated, QVector<quint32>{7});
    EXPECT_TRUE(model->transferInProgress());
    EXPECT_TRUE(imagesOnClipboard());
    EXPECT_TRUE(bridge.isCurrent());
    model->pasteAll(window(7)); // the button again while waiting
    ASSERT_EQ(steps.size(), 1u);

    active = window(7); // the window manager did as asked
    runStep(AppModel::automaticPasteDelayMs);
    EXPECT_EQ(posted, QVector<quint32>{7});
    runStep(AppModel::commentDelayMs);
    EXPECT_EQ(posted, (QVector<quint32>{7, 7}));
    EXPECT_EQ(clipboardText(), QByteArray("A1 первый\nA2 второй"));
    runStep(AppModel::releaseDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());
    EXPECT_EQ(model->status(), handedOver);
}

TEST_F(HandOffTest, PasteAllRefusesOrCancels)
{
    model->pasteAll(window(7));
    EXPECT_TRUE(activated.isEmpty()); // empty series

    saveSeries();
    permission = false;
    model->pasteAll(window(7));
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение XTEST на X-сервере"));
    EXPECT_FALSE(model->automaticPasteAllowed());
    EXPECT_TRUE(steps.empty());
    EXPECT_TRUE(activated.isEmpty());

    permission = true;
    model->handlePaste();
    model->pasteAll(window(7)); // a step is pending
    EXPECT_TRUE(activated.isEmpty());
    runStep(AppModel::commentDelayMs);
    runStep(AppModel::releaseDelayMs);

    const QString cancelled = QStringLiteral("Вставка отменена. Выберите поле сообщения и повторите");
    saveSeries();
    postSucceeds = false; // the target did not come to the front
    model->pasteAll(window(7));
    runStep(AppModel::automaticPasteDelayMs);
    EXPECT_EQ(model->status(), cancelled);
    EXPECT_FALSE(model->transferInProgress());
    EXPECT_TRUE(steps.empty());

    postSucceeds = true;
    posted.clear();
    model->pasteAll(window(7));
    model->deleteShot(QUuid::createUuid()); // any change of the series
    runStep(AppModel::automaticPasteDelayMs);
    EXPECT_EQ(model->status(), cancelled);
    EXPECT_TRUE(posted.isEmpty());
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
    auto watching = std::make_unique<AppModel>(bridge, settings, true, noDisplay);
    EXPECT_FALSE(watching->monitoring());
    EXPECT_FALSE(watching->automaticPasteAllowed());
    watching->refresh();
    EXPECT_FALSE(watching->monitoring());
    watching->enableMonitoring();
    EXPECT_FALSE(watching->monitoring());
    EXPECT_EQ(watching->status(), QStringLiteral("Нет связи с X-сервером «:65000»."));
    watching->openScreenSettings();
    EXPECT_EQ(watching->status(), QStringLiteral("Нет связи с X-сервером «:65000»."));
}
