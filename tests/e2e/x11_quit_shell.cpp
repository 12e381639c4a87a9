#include "RealProgram.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QUrl>
#include <cstdlib>
#include <optional>
#include <xcb/xcb.h>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

// Quitting, the confirmations that destroy something, and the menu bar's keys,
// tried on the real program as a user tries them.
class ShellQuit : public RealProgram {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        // Tesseract's worker threads spin for a core each: on a loaded machine one read takes half a minute.
        qputenv("OMP_THREAD_LIMIT", "1");
        startDesktop();
        ASSERT_TRUE(gradientPicture().save(image));
        // The clipboard is this test's: the program takes it only when its series grows.
        QGuiApplication::clipboard()->setText(QStringLiteral("the test's own text"));
        ASSERT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->ownsClipboard(); }, 30s));
    }

    // The program with one shot, A, in its series and on the clipboard.
    void startWithOneShot()
    {
        startProgram({QStringLiteral("--open-image"), image});
        if (HasFatalFailure())
            return;
        QStringList editor;
        ASSERT_TRUE(waitUntil([&] { return !(editor = windows(QStringLiteral("^Tarnwick · A$"))).isEmpty(); }, 30s));
        activateWindow(editor.first());
        x.chord({control, x.keycodeOf(XK_Return)});
        ASSERT_TRUE(waitUntil([&] { return xclipRead(QStringLiteral("text/uri-list")).trimmed().endsWith("/A.png"); }, 30s));
        ASSERT_TRUE(waitUntil([&] { return windows(QStringLiteral("^Tarnwick · A$")).isEmpty(); }, 30s));
        panelBefore = panelHeader();
    }

    // The panel's count and the card of its last shot: what changes when the series does.
    QImage panelHeader()
    {
        QString w;
        if (!waitUntil([&] { return !(w = panel()).isEmpty(); }, 30s))
            return {};
        // Away from the panel, whose buttons light up under the pointer. Two answers from the
        // program's event loop (the clipboard is the series'): the first comes after it has taken
        // the pointer's leaving, the second after the repaint that posted has reached the server.
        x.movePointer(10, 1000);
        x.sync();
        for (int i = 0; i < 2; ++i)
            xclipRead(QStringLiteral("TARGETS"));
        const QImage look = QGuiApplication::primaryScreen()->grabWindow(w.toULongLong()).toImage();
        return look.copy(0, 0, look.width(), 85);
    }

    // Where a window's frame stands among the desktop's windows, bottom first.
    int stackingPlace(const QString& window)
    {
        xcb_connection_t* c = x.connection();
        xcb_window_t top = window.toUInt();
        for (;;) {
            auto* up = xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr);
            if (!up)
                return -1;
            const xcb_window_t parent = up->parent;
            std::free(up);
            if (parent == x.root() || parent == XCB_WINDOW_NONE)
                break;
            top = parent;
        }
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, x.root()), nullptr);
        if (!tree)
            return -1;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        int place = -1;
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
            if (children[i] == top)
                place = i;
        std::free(tree);
        return place;
    }

    QString image = home.filePath(QStringLiteral("picture.png"));
    QImage panelBefore;
};

TEST_F(ShellQuit, FinishingWithTheEditorOpenEndsTheProgramAndTheSeriesDoesNotGrow)
{
    startProgram({QStringLiteral("--open-image"), image});
    ASSERT_TRUE(waitUntil([&] { return !windows(QStringLiteral("^Tarnwick · A$")).isEmpty(); }, 30s));
    trayEntry(1);
    const QString box = waitForQuestion();
    ASSERT_FALSE(box.isEmpty()) << "the quit question";
    const std::optional<QPoint> quit = findWord(box, QStringLiteral("Завершить"));
    ASSERT_TRUE(quit) << "no «Завершить» in the question";
    x.click(quit->x(), quit->y());
    EXPECT_TRUE(waitUntil([&] { return !running(); }, 30s)) << "still running after «Завершить»";
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    // Putting the editor's shot into the series would have taken the clipboard for it.
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard()) << "the shot went into the series on the way out";
}

TEST_F(ShellQuit, ReturnAndEscapeInTheQuitQuestionKeepTheProgramAndItsSeries)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    for (auto [name, key] : {std::pair{"Return", XK_Return}, {"Escape", XK_Escape}}) {
        trayEntry(1);
        const QString box = waitForQuestion();
        ASSERT_FALSE(box.isEmpty()) << name;
        x.chord({x.keycodeOf(key)});
        EXPECT_TRUE(waitUntil([&] { return question().isEmpty() || !running(); }, 30s)) << name;
        // The clipboard's answer comes from the program's event loop after the key's handling: a
        // program on its way out no longer gives it.
        const QByteArray uris = xclipRead(QStringLiteral("text/uri-list"));
        ASSERT_TRUE(running()) << name << " in the quit question ended the program";
        EXPECT_TRUE(uris.trimmed().endsWith("/A.png")) << name;
        EXPECT_TRUE(panelHeader() == panelBefore) << name << ": the panel's series changed";
    }
}

TEST_F(ShellQuit, ReturnInTheClearConfirmationKeepsTheSeries)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(openPanelMenu());
    // The menu ends "Очистить серию…", "Скрыть окно", "Открыть изображение…", "О Tarnwick", "Завершить Tarnwick".
    for (int i = 0; i < 5; ++i)
        x.chord({x.keycodeOf(XK_Up)});
    x.chord({x.keycodeOf(XK_Return)});
    const QString box = waitForQuestion();
    ASSERT_FALSE(box.isEmpty()) << "the clear confirmation";
    EXPECT_TRUE(findWord(box, QStringLiteral("Очистить"))) << "not the clear confirmation";
    x.chord({x.keycodeOf(XK_Return)});
    EXPECT_TRUE(waitUntil([&] { return question().isEmpty(); }, 30s));
    // A clear would have redrawn the count and the stack at once, before the panel's look is read.
    EXPECT_TRUE(panelHeader() == panelBefore) << "Return in the clear confirmation cleared the series";
}

TEST_F(ShellQuit, TheClearConfirmationStepsAsideForACaptureAndComesBackInFrontOfThePanel)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_FALSE(askToClear().isEmpty()) << "the clear confirmation";
    // The hot key works while the question asks; the picker's veil takes the keyboard.
    x.chord({control, x.keycodeOf(XK_2)});
    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s)) << "Ctrl+2 started no capture";
    EXPECT_TRUE(question().isEmpty()) << "the question stays on the screen being captured";
    x.chord({x.keycodeOf(XK_Escape)});

    QString box, card;
    ASSERT_TRUE(waitUntil([&] { return !(box = question()).isEmpty() && !(card = panel()).isEmpty(); }, 30s))
        << "the question did not come back with the panel";
    EXPECT_GT(stackingPlace(box), stackingPlace(card)) << "the panel covers the question";
    EXPECT_TRUE(waitUntil([&] { return focusedWindow() == box; }, 30s)) << "the question does not hold the keyboard";
    // Read off the screen: a button under the panel would not be.
    const std::optional<QPoint> cancel = findWord(box, QStringLiteral("Отмена"));
    ASSERT_TRUE(cancel) << "«Отмена» cannot be seen";
    x.click(cancel->x(), cancel->y());
    EXPECT_TRUE(waitUntil([&] { return question().isEmpty(); }, 30s)) << "«Отмена» left the question open";
    EXPECT_TRUE(panelHeader() == panelBefore) << "«Отмена» changed the series";
    // The hot key still acts once the question is gone.
    x.chord({control, x.keycodeOf(XK_2)});
    EXPECT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s)) << "Ctrl+2 after the question";
    x.chord({x.keycodeOf(XK_Escape)});
}

TEST_F(ShellQuit, EveryAnswerToTheClearConfirmationGivesTheKeysBackToTheWindowTheUserTypedIn)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    const QString typedIn = QString::number(chat);
    struct Answer {
        const char* name;
        const char* button; // clicked, or Escape pressed when none
    };
    // "Очистить" last: an empty series has nothing to clear.
    for (const Answer& answer : {Answer{"Escape", nullptr}, {"«Отмена»", "Отмена"}, {"«Очистить»", "Очистить"}}) {
        activateWindow(typedIn);
        ASSERT_TRUE(waitUntil([&] { return focusedWindow() == typedIn; }, 30s)) << answer.name;
        const QString box = askToClear();
        ASSERT_FALSE(box.isEmpty()) << answer.name << ": no clear confirmation";
        if (answer.button) {
            const std::optional<QPoint> button = findWord(box, QString::fromUtf8(answer.button));
            ASSERT_TRUE(button) << answer.name;
            x.click(button->x(), button->y());
        } else {
            x.chord({x.keycodeOf(XK_Escape)});
        }
        ASSERT_TRUE(waitUntil([&] { return question().isEmpty(); }, 30s)) << answer.name << " left the question open";
        EXPECT_TRUE(waitUntil([&] { return focusedWindow() == typedIn; }, 30s))
            << answer.name << ": the keys went to window " << focusedWindow().toStdString();
        // A key typed now reaches that window.
        x.takeKeyEvents();
        x.chord({x.keycodeOf(XK_k)});
        EXPECT_TRUE(waitUntil(
            [&] {
                for (const X11Client::KeyEvent& e : x.takeKeyEvents())
                    if (e.press && e.keycode == x.keycodeOf(XK_k))
                        return true;
                return false;
            },
            30s))
            << answer.name << ": a key typed after the question went nowhere";
    }
    EXPECT_TRUE(waitUntil([&] { return !(panelHeader() == panelBefore); })) << "«Очистить» kept the series";
}

// How a window comes to the front for a key.
enum class Front { guide, permissions, panelMenu };

TEST_F(ShellQuit, CtrlOCtrlEAndCtrlQDoWhatTheirMenuEntriesDoInEveryWindowInFront)
{
    startWithOneShot();
    ASSERT_FALSE(HasFatalFailure());
    const auto bringForward = [&](Front front) -> bool {
        if (front == Front::panelMenu)
            return openPanelMenu();
        // "Горячие клавиши…" and "Разрешения…" in the tray menu, counted from its end.
        const QString title = front == Front::guide ? QStringLiteral("^Горячие клавиши · Tarnwick$")
                                                    : QStringLiteral("^Tarnwick · Разрешения$");
        trayEntry(front == Front::guide ? 4 : 2);
        QStringList found;
        return waitUntil([&] { return !(found = windows(title)).isEmpty() && focusedWindow() == found.first(); }, 30s);
    };
    struct Row {
        const char* name;
        Front front;
        std::uint32_t key;
        QString answer; // the name of the window the key must open
    };
    const QString quitQuestion = QStringLiteral("question");
    const std::vector<Row> table{
        {"Ctrl+O in the guide", Front::guide, XK_o, QStringLiteral("^Открыть изображение$")},
        {"Ctrl+E in the guide", Front::guide, XK_e, QStringLiteral("^Сохранить серию$")},
        {"Ctrl+Q in the guide", Front::guide, XK_q, quitQuestion},
        {"Ctrl+O in the permission window", Front::permissions, XK_o, QStringLiteral("^Открыть изображение$")},
        {"Ctrl+E in the permission window", Front::permissions, XK_e, QStringLiteral("^Сохранить серию$")},
        {"Ctrl+Q in the permission window", Front::permissions, XK_q, quitQuestion},
        {"Ctrl+O in the panel's menu", Front::panelMenu, XK_o, QStringLiteral("^Открыть изображение$")},
        {"Ctrl+E in the panel's menu", Front::panelMenu, XK_e, QStringLiteral("^Сохранить серию$")},
        {"Ctrl+Q in the panel's menu", Front::panelMenu, XK_q, quitQuestion},
    };
    for (const Row& row : table) {
        ASSERT_TRUE(bringForward(row.front)) << row.name << ": the window did not come to the front; " << deskState();
        x.chord({control, x.keycodeOf(row.key)});
        QString answer;
        const bool answered = waitUntil(
            [&] {
                const QStringList found = row.answer == quitQuestion ? QStringList{question()} : windows(row.answer);
                answer = found.isEmpty() ? QString() : found.first();
                return !answer.isEmpty() && focusedWindow() == answer;
            },
            30s);
        EXPECT_TRUE(answered) << row.name << ": nothing opened; " << deskState();
        if (answered)
            x.chord({x.keycodeOf(XK_Escape)});
        ASSERT_TRUE(waitUntil([&] { return answer.isEmpty() || windows(QStringLiteral(".")).indexOf(answer) < 0; }, 30s))
            << row.name << ": Escape left the dialog open";
        ASSERT_TRUE(running()) << row.name;
        // Whatever stays open (the menu that did not close) goes before the next row.
        if (x.keyboardGrabbedElsewhere())
            x.chord({x.keycodeOf(XK_Escape)});
    }
    EXPECT_TRUE(panelHeader() == panelBefore) << "the series changed";
}

TEST_F(ShellQuit, WithAnEmptySeriesCtrlEIsOffAndCtrlQEndsTheProgram)
{
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    trayEntry(4);
    QStringList guide;
    ASSERT_TRUE(waitUntil(
        [&] {
            guide = windows(QStringLiteral("^Горячие клавиши · Tarnwick$"));
            return !guide.isEmpty() && focusedWindow() == guide.first();
        },
        30s));
    // "Сохранить серию в папку…" is disabled for an empty series, and so is its key.
    // The program takes its keys in turn: by the time Ctrl+Q has ended it, Ctrl+E was handled, and a
    // folder question it opened would still stand, holding the keyboard against Ctrl+Q.
    x.chord({control, x.keycodeOf(XK_e)});
    x.chord({control, x.keycodeOf(XK_q)});
    bool asked = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            asked = asked || !windows(QStringLiteral("^Сохранить серию$")).isEmpty();
            return !running();
        },
        30s))
        << "Ctrl+Q in the guide did not quit";
    EXPECT_FALSE(asked) << "Ctrl+E asked for a folder for an empty series";
    EXPECT_EQ(app.exitCode(), 0);
}

} // namespace
} // namespace tarnwick::test
