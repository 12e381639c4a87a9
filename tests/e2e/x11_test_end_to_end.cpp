#include "RealProgram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>
#include <xcb/xcb.h>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

// The user's road through the real program: openbox, a tray host, the real
// tarnwick with its picker, and the chat of another program (this test's window);
// the parameter puts the keyboard on its Russian group, as a Russian user types.
class EndToEnd : public RealProgram, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        const std::uint32_t size[] = {500, 300};
        xcb_configure_window(x.connection(), chat, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        x.sync();
        startDesktop(GetParam() ? QStringLiteral("us,ru") : QString());
        if (!HasFatalFailure())
            startProgram();
    }

    // Presses the hot key, waits for the picker's veil to hold the keyboard and
    // plays `pick` in it; returns the milliseconds until the veil came.
    qint64 capture(std::vector<std::uint8_t> keys, const std::function<void()>& pick)
    {
        QElapsedTimer timer;
        timer.start();
        x.chord(keys);
        // A hot key pressed while the program is still taking it (after a keyboard group change
        // on a busy machine) goes nowhere: press it once more.
        if (!waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 10s)) {
            x.chord(keys);
            if (!waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s))
                return -1;
        }
        const qint64 shown = timer.elapsed();
        pick();
        return shown;
    }

    // Ctrl+Enter in the shot's editor; returns the milliseconds until the series is on the clipboard.
    // With `arrow`, first drags an arrow across the middle of the shot.
    qint64 saveToSeries(const QString& label, const QString& picture = {}, bool arrow = false)
    {
        QStringList editor;
        if (!waitUntil([&] { return !(editor = windows(QStringLiteral("^Tarnwick · ") + label + u'$')).isEmpty(); }, 30s))
            return ADD_FAILURE() << "no editor " << label.toStdString(), -1;
        if (arrow) {
            // Placed, in front and drawn before the drag: a window still being mapped or placed loses it.
            activateWindow(editor.first());
            const auto look = [&] { return QGuiApplication::primaryScreen()->grabWindow(editor.first().toULongLong()).toImage(); };
            QImage before = look();
            QRect placed = geometry(editor.first());
            if (!waitUntil(
                    [&] {
                        const QImage now = look();
                        const QRect at = geometry(editor.first());
                        const bool settled = !now.isNull() && now == before && at == placed;
                        before = now, placed = at;
                        return settled;
                    },
                    30s))
                return ADD_FAILURE() << "the editor never settled", -1;
            const QPoint middle = placed.center();
            x.drag(middle.x() - 80, middle.y() - 40, middle.x() + 80, middle.y() + 40);
            if (!waitUntil([&] { return !differences(look(), before).isEmpty(); }, 30s))
                return ADD_FAILURE() << "the arrow drag drew nothing", -1;
        }
        // A comment: its tool by digit, a click, the text, Ctrl+Enter in the sheet.
        if (arrow) {
            const QPoint middle = geometry(editor.first()).center();
            x.chord({x.keycodeOf(XK_5)});
            x.click(middle.x() + 100, middle.y() - 80);
            QStringList sheet;
            if (!waitUntil([&] { return !(sheet = windows(QStringLiteral("комментарий$"))).isEmpty(); }, 30s))
                return ADD_FAILURE() << "no comment sheet", -1;
            // Typing starts once the sheet holds the keyboard, so no letter reaches the canvas as a tool key.
            if (!waitUntil([&] { return focusedWindow() == sheet.first(); }, 30s))
                return ADD_FAILURE() << "the comment sheet has no focus", -1;
            typeText(comment, 20);
            x.chord({control, x.keycodeOf(XK_Return)});
            if (!waitUntil([&] { return windows(QStringLiteral("комментарий$")).isEmpty(); }, 30s))
                return ADD_FAILURE() << "the comment sheet stays", -1;
        }
        if (!picture.isEmpty())
            grab(editor.first(), picture);
        const QString before = QString::fromUtf8(xclipRead(QStringLiteral("text/uri-list")));
        activateWindow(editor.first());
        QElapsedTimer timer;
        timer.start();
        x.chord({control, x.keycodeOf(XK_Return)});
        if (!waitUntil([&] { return QString::fromUtf8(xclipRead(QStringLiteral("text/uri-list"))) != before; }, 30s))
            return ADD_FAILURE() << "no series on the clipboard", -1;
        return timer.elapsed();
    }

    // Pictures for the documentation, when $TARNWICK_DOCS_PICTURES asks for them.
    void grab(const QString& window, const QString& name)
    {
        if (qEnvironmentVariableIsSet("TARNWICK_DOCS_PICTURES")) {
            EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).save(
                QStringLiteral(TARNWICK_DOCS "/") + name));
        }
    }

    // Text of the group the keyboard is on: letters of another group would need xdotool's
    // temporary key remapping, which drops letters when they come fast.
    const QString comment = GetParam() ? QStringLiteral("Кнопка не нажимается") : QStringLiteral("Button does nothing");
};

// Where `pattern` sits in `shot` (most of its pixels equal), or no value.
std::optional<QPoint> findPattern(const QImage& shot, const QImage& pattern)
{
    for (int y = 0; y + pattern.height() <= shot.height(); ++y)
        for (int x = 0; x + pattern.width() <= shot.width(); ++x) {
            int same = 0;
            for (int i = 0; i < 64; ++i) {
                const QPoint p((i * 37) % pattern.width(), (i * 53) % pattern.height());
                same += shot.pixel(p + QPoint(x, y)) == pattern.pixel(p);
            }
            if (same >= 56)
                return QPoint(x, y);
        }
    return std::nullopt;
}

QImage noise(X11Client& x, std::uint32_t window, QRect area, std::uint32_t seed)
{
    const auto pixels = x.paintNoise(window, area.x(), area.y(), area.width(), area.height(), seed);
    return QImage(reinterpret_cast<const uchar*>(pixels.data()), area.width(), area.height(), QImage::Format_RGB32)
        .copy();
}

TEST_P(EndToEnd, AnAreaAndAWindowShotGoIntoTheChatWithOneCtrlVAndTheTrayMenuQuitsClean)
{
    if (GetParam()) {
        x.lockGroup(1);
        ASSERT_EQ(x.lockedGroup(), 1);
    }
    const QImage first = noise(x, x.root(), QRect(700, 400, 500, 400), 1);
    const qint64 pickerShown = capture({control, x.keycodeOf(XK_2)}, [&] { x.drag(750, 450, 1150, 750); });
    ASSERT_GE(pickerShown, 0);
    const qint64 firstSaved = saveToSeries(QStringLiteral("A"), QStringLiteral("editor.png"), true);
    ASSERT_GE(firstSaved, 0);

    activateWindow(QString::number(chat));
    const QImage second = noise(x, chat, QRect(0, 0, 500, 300), 2);
    const QRect chatArea = geometry(QString::number(chat));
    ASSERT_GE(capture({control, shift, x.keycodeOf(XK_space)}, [&] { x.click(chatArea.center().x(), chatArea.center().y()); }), 0);
    const qint64 secondSaved = saveToSeries(QStringLiteral("B"));
    ASSERT_GE(secondSaved, 0);
    // The panel comes back once the editor has gone.
    QStringList panel;
    ASSERT_TRUE(waitUntil([&] { return !(panel = windows(QStringLiteral("^Tarnwick$"))).isEmpty(); }, 30s));
    grab(panel.first(), QStringLiteral("panel.png"));
    const auto panelLook = [&] { return QGuiApplication::primaryScreen()->grabWindow(panel.first().toULongLong()).toImage(); };
    const QImage panelBefore = panelLook();

    // The clipboard holds both shots as files, A before B, each with its pattern.
    const QList<QByteArray> uris = xclipRead(QStringLiteral("text/uri-list")).trimmed().split('\n');
    ASSERT_EQ(uris.size(), 2);
    for (const auto& [uri, pattern, name, at] :
         {std::tuple{uris[0], first.copy(50, 50, 400, 300), "/A.png", std::optional<QPoint>(QPoint(0, 0))},
          std::tuple{uris[1], second, "/B.png", std::optional<QPoint>()}}) {
        const QString file = QUrl::fromEncoded(uri.trimmed()).toLocalFile();
        EXPECT_TRUE(file.endsWith(QString::fromLatin1(name))) << file.toStdString();
        const QImage shot = QImage(file).convertToFormat(QImage::Format_RGB32);
        const std::optional<QPoint> found = findPattern(shot, pattern);
        EXPECT_TRUE(found.has_value()) << file.toStdString();
        if (at) { // the area is exactly the rectangle dragged, with the arrow drawn in the palette's red
            EXPECT_EQ(found, at);
            EXPECT_EQ(shot.size(), pattern.size());
            int red = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) {
                    const QColor c = shot.pixelColor(x, y);
                    red += std::abs(c.red() - 255) <= 3 && std::abs(c.green() - 82) <= 3 && std::abs(c.blue() - 92) <= 3;
                }
            EXPECT_GE(red, 100) << "the arrow";
        }
    }

    // One Ctrl+V in the chat takes the series, which leaves nothing to confirm on quitting.
    activateWindow(QString::number(chat));
    activate(chat);
    x.takeKeyEvents();
    QElapsedTimer pasted;
    pasted.start();
    ctrlV();
    ASSERT_TRUE(waitForCtrlV(0, 30s));
    // About a second later Tarnwick pastes the comments itself, with a Ctrl+V of its own:
    // the chat reads the clipboard as that key arrives.
    ASSERT_TRUE(waitForCtrlV(0, 30s));
    const qint64 commentsPasted = pasted.elapsed();
    EXPECT_EQ(QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING"))).trimmed(), QStringLiteral("A1 ") + comment);
    // The panel shows the series cleared: its cards make way for the empty stack. Only the end
    // state is waited for; a busy machine can pass the short hand-off state unseen.
    const QRect cards(0, 40, panelBefore.width(), 40);
    EXPECT_TRUE(waitUntil([&] { return panelLook().copy(cards) != panelBefore.copy(cards); }, 30s));
    std::printf("Ctrl+2 -> picker %lld ms; Ctrl+Enter -> series %lld / %lld ms; Ctrl+V -> comments pasted %lld ms, "
                "series cleared %lld ms\n",
                pickerShown, firstSaved, secondSaved, commentsPasted, pasted.elapsed());

    // Quit from the tray menu: its last entry.
    ASSERT_TRUE(openTrayMenu());
    x.chord({x.keycodeOf(XK_Up)});
    x.chord({x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return app.state() == QProcess::NotRunning; }, 30s));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    // The run's own files go; the two prepared series stay for a chat that reads them later.
    const QDir privateRoot(home.filePath(QStringLiteral("run/tarnwick")));
    EXPECT_EQ(privateRoot.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(QDir(home.filePath(QStringLiteral("cache/tarnwick/Tarnwick-Clipboard"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
              2);
}

INSTANTIATE_TEST_SUITE_P(Layouts, EndToEnd, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Russian" : "English"; });

} // namespace
} // namespace tarnwick::test
