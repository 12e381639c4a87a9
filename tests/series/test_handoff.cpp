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

// Events → what the hand-off did. A row sets the series up, plays its events one
// by one and reads the state after each: the flags (p pending, t transfer,
// a awaiting comments, - none) and the steps waiting; what the clipboard holds
// (I images, C the comment text, B both, O nothing of ours) and the shots left;
// the pastes we typed; the status (S series ready, 2 press Ctrl+V again,
// T transferred, H handed over). Events: v a Ctrl+V of the user; c, r the
// comment and release steps; o another program takes the clipboard; s a shot
// saved; w another window comes to the front.
TEST_F(HandOffTest, EventsToActions)
{
    const QStringList two{QStringLiteral("первый"), QStringLiteral("второй")};
    struct Case {
        const char* what;
        bool autoClear, permission, postSucceeds;
        QStringList comments;
        std::function<void()> publish;
        const char* events;
        const char* trace;
        int publications; // our own clipboard writes during the events
    };
    const auto chat = [] {};
    const Case cases[] = {
        {"chat: our Ctrl+V and the release clear; further Ctrl+Vs do nothing", true, true, true, two, chat, "vvcvrv",
         "pt1 I1 0 S|pt1 I1 0 S|pta1 C1 1 S|pta1 C1 1 S|-0 C0 1 H|-0 C0 1 H", 1},
        {"chat, autoClear off", false, true, true, two, chat, "vcr", "pt1 I1 0 S|pta1 C1 1 S|-0 C1 1 T", 1},
        {"combined clears", true, true, true, two, [&] { model->prepareClipboard(TransferMode::combined); }, "vc",
         "pt1 B1 0 ?|-0 B0 0 H", 0},
        {"chat without comments, autoClear off", false, true, true, {}, chat, "vc", "pt1 I1 0 S|-0 I1 0 S", 0},
        {"copied comments", true, true, true, two, [&] { model->copyComments(); }, "vc", "pta1 C1 0 ?|-0 C0 0 H", 0},
        {"no automatic paste: a second Ctrl+V", true, false, true, two, chat, "vcvc", "pt1 I1 0 S|a0 C1 0 2|pta1 C1 0 2|-0 C0 0 H", 1},
        {"another window came to the front", true, true, true, two, chat, "vwcvc", "pt1 I1 0 S|pt1 I1 0 S|a0 C1 0 2|pta1 C1 0 2|-0 C0 0 H", 1},
        {"the keyboard refused (modifiers held)", true, true, false, two, chat, "vcvc", "pt1 I1 0 S|a0 C1 0 2|pta1 C1 0 2|-0 C0 0 H", 1},
        {"images mode", true, true, true, two, [&] { model->prepareClipboard(TransferMode::images); }, "v", "-0 I1 0 ?", 0},
        {"another program's clipboard", true, true, true, two, chat, "ov", "-0 O1 0 S|-0 O1 0 S", 0},
        {"a shot saved before the comment step", true, true, true, two, chat, "vsc", "pt1 I1 0 S|pt1 I2 0 S|-0 I2 0 S", 0},
        {"the clipboard taken before the comment step", true, true, true, two, chat, "voc", "pt1 I1 0 S|pt1 O1 0 S|-0 O1 0 S", 0},
        {"the clipboard taken before the release", true, true, true, two, chat, "vcor", "pt1 I1 0 S|pta1 C1 1 S|pta1 O1 1 S|a0 O1 1 S", 1},
    };
    const std::map<QString, char> statuses{{QStringLiteral("Сначала снимки, затем отдельный текст"), 'S'},
                                           {secondCtrlV, '2'}, {QStringLiteral("Снимки и комментарии переданы"), 'T'}, {handedOver, 'H'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model->clear(false);
        posted.clear();
        active = window(7);
        model->setAutoClear(c.autoClear);
        permission = c.permission;
        postSucceeds = c.postSucceeds;
        saveSeries(c.comments);
        c.publish();
        const int publications = board.publications();
        QStringList trace;
        for (const char* e = c.events; *e; ++e) {
            switch (*e) {
            case 'v': model->handOff().handlePaste(); break;
            case 'c': runStep(PasteHandOff::commentDelayMs); break;
            case 'r': runStep(PasteHandOff::releaseDelayMs); break;
            case 'o': board.takeByOtherProgram(); break;
            case 's': model->save(shotWithComments({}), {}, false); break;
            case 'w': active = window(9); break;
            }
            const bool images = imagesOnClipboard(), text = clipboardText() == commentText;
            const auto status = statuses.find(model->status());
            trace << QStringLiteral("%1%2 %3%4 %5 %6")
                         .arg(model->pastePending() || model->transferInProgress() || model->awaitingComments()
                                  ? QString(model->pastePending() ? "p" : "") + (model->transferInProgress() ? "t" : "")
                                        + (model->awaitingComments() ? "a" : "")
                                  : QStringLiteral("-"))
                         .arg(steps.size())
                         .arg(images ? (text ? 'B' : 'I') : text ? 'C' : 'O')
                         .arg(model->shots().size())
                         .arg(posted.size())
                         .arg(status == statuses.end() ? '?' : status->second);
        }
        EXPECT_EQ(trace.join(u'|'), QString::fromUtf8(c.trace));
        EXPECT_EQ(board.publications() - publications, c.publications);
        EXPECT_TRUE(posted.isEmpty() || posted == QVector<quint32>{7});
    }
}

TEST_F(HandOffTest, APublicationErrorStopsWithTheImagesPasted)
{
    saveSeries();
    model->handOff().handlePaste();
    board.failWrites = true;
    runStep(PasteHandOff::commentDelayMs);
    EXPECT_EQ(alerts, QStringList{QStringLiteral("Буфер обмена недоступен. Попробуйте снова.")});
    EXPECT_EQ(model->status(), alerts.value(0));
    EXPECT_EQ(handOff(), "steps 0 posted 0");
}

TEST_F(HandOffTest, PasteAllRunsTheWholeExchangeInTheTargetOrRefusesOrCancels)
{
    saveSeries();
    permission = false;
    model->handOff().pasteAll(window(7));
    EXPECT_EQ(model->status(), QStringLiteral("Включите расширение XTEST на X-сервере"));
    EXPECT_EQ(handOff(), "steps 0 posted 0");
    permission = true;
    board.takeByOtherProgram(); // pasteAll renders the series anew
    active = window(3);
    model->handOff().pasteAll(window(7));
    EXPECT_EQ(activated, QVector<quint32>{7});
    model->handOff().pasteAll(window(7)); // the button again while waiting
    EXPECT_EQ(handOff(), "transfer steps 1 posted 0");
    active = window(7); // the window manager did as asked
    runStep(PasteHandOff::automaticPasteDelayMs);
    runStep(PasteHandOff::commentDelayMs);
    EXPECT_EQ(posted, (QVector<quint32>{7, 7}));
    runStep(PasteHandOff::releaseDelayMs);
    EXPECT_TRUE(model->shots().isEmpty());

    // The target did not come to the front.
    saveSeries();
    posted.clear();
    model->handOff().pasteAll(window(7));
    postSucceeds = false;
    runStep(PasteHandOff::automaticPasteDelayMs);
    EXPECT_EQ(model->status(), cancelled);
    EXPECT_EQ(handOff(), "steps 0 posted 0");
}

TEST_F(HandOffTest, AStepOutlivingTheModelDoesNothing)
{
    saveSeries();
    model->handOff().handlePaste();
    const int publications = board.publications();
    model.reset();
    runStep(PasteHandOff::commentDelayMs);
    EXPECT_EQ(board.publications(), publications);
    EXPECT_TRUE(posted.isEmpty());
}

TEST_F(HandOffTest, EveryTransfersFolderAndCopyStaysWhileTheProgramRuns)
{
    QStringList made;
    const auto note = [&](const QString& path) { made << QFileInfo(path).fileName(); };
    saveSeries();
    note(bridge.packet()->directory);
    model->handOff().handlePaste();
    saveSeries(); // replaces the first on the clipboard while a paste of it is pending
    note(bridge.packet()->directory);
    runStep(PasteHandOff::commentDelayMs);
    note(QFileInfo(bridge.copyUnmarkedImage(model->shots().front())).path());
    note(QFileInfo(bridge.copyUnmarkedImage(model->shots().front())).path());
    for (int i = 0; i < 3; ++i) {
        saveSeries();
        note(bridge.packet()->directory);
    }
    // A chat reads pasted files when the message is sent, long after later transfers.
    made.sort();
    EXPECT_EQ(entries(bridge.clipboardFolder()), made);
}
