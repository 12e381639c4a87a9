#include "capture/FrozenOverlay.h"
#include "capture/Picker.h"
#include "capture/RecordingAreaSelector.h"
#include "support/X11Client.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using tarnwick::test::runProcess;
using tarnwick::test::waitUntil;
using tarnwick::test::X11Client;

namespace {

// Another program that takes the keyboard and keeps it (a game, a remote desktop, a stuck menu).
class KeyboardHolder {
public:
    KeyboardHolder() { EXPECT_TRUE(hold()); }
    bool hold()
    {
        auto* r = xcb_grab_keyboard_reply(
            x.connection(),
            xcb_grab_keyboard(x.connection(), 0, x.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const bool held = r && r->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(r);
        return held;
    }
    void letGo()
    {
        xcb_ungrab_keyboard(x.connection(), XCB_CURRENT_TIME);
        x.sync();
    }

private:
    X11Client x;
};

// What the top left of the screen says, as Tesseract reads it off the screen.
QString topLeftText(const QTemporaryDir& dir)
{
    QImage look = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 1000, 160).toImage();
    look = look.convertToFormat(QImage::Format_Grayscale8).scaled(look.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    look.invertPixels(); // white text on a dark box
    const QString file = dir.filePath(QStringLiteral("veil.png"));
    look.save(file);
    QByteArray text;
    runProcess(QStringLiteral("tesseract"), {file, QStringLiteral("-"), QStringLiteral("-l"), QStringLiteral("rus")}, &text,
               {}, 60s);
    return QString::fromUtf8(text).simplified();
}

bool saysKeyboardHeld(const QTemporaryDir& dir) { return topLeftText(dir).contains(QStringLiteral("Клавиатуру держит")); }

// White text in the top left of the screen, where the veils write.
int whiteTextPixels()
{
    const QImage look = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 1000, 160).toImage();
    int white = 0;
    for (int y = 0; y < look.height(); ++y)
        for (int x = 0; x < look.width(); ++x)
            white += qGray(look.pixel(x, y)) > 200;
    return white;
}

TEST(HeldKeyboard, TheAreaSelectorsSayItOnTheVeilAndARightClickCancelsThem)
{
    // Tesseract's worker threads spin for a core each: on a loaded machine one read takes half a minute.
    qputenv("OMP_THREAD_LIMIT", "1");
    X11Client x;
    QTemporaryDir dir;
    // The recording's prompt, and the scrolling capture's, which runs the same selector.
    for (const QString& prompt : {recording::RecordingAreaSelector::defaultPrompt,
                                  QStringLiteral("Выделите область страницы для прокрутки · Esc — отмена")}) {
        SCOPED_TRACE(prompt.toStdString());
        KeyboardHolder holder;
        recording::RecordingAreaSelector selector;
        int calls = 0;
        std::optional<recording::AreaSelection> selection;
        selector.select(prompt, [&](std::optional<recording::AreaSelection> s) { ++calls, selection = s; });
        const auto notices = [&] {
            QStringList said;
            for (QWidget* panel : selector.panels())
                said << static_cast<capture::FrozenOverlay*>(panel)->notice();
            return said;
        };
        if (waitUntil([&] { return !notices().isEmpty() && notices().first() == capture::FrozenOverlay::keyboardHeldNotice; }, 30s))
            EXPECT_TRUE(waitUntil([&] { return saysKeyboardHeld(dir); }, 30s)) << topLeftText(dir).toStdString();
        else
            ADD_FAILURE() << "the veil does not say why Escape does nothing";
        x.chord({x.keycodeOf(XK_Escape)});
        x.click(700, 500, 3);
        ASSERT_TRUE(waitUntil([&] { return calls > 0; }, 10s)) << "a right click did not cancel";
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(selection.has_value());
        EXPECT_TRUE(selector.panels().empty());
    }
}

TEST(HeldKeyboard, TheNoticeGoesOnceTheKeyboardIsLetGoAndEscapeCancelsAgain)
{
    X11Client x;
    KeyboardHolder holder;
    recording::RecordingAreaSelector selector;
    bool cancelled = false;
    selector.select(recording::RecordingAreaSelector::defaultPrompt,
                    [&](std::optional<recording::AreaSelection> s) { cancelled = !s; });
    const auto notice = [&] {
        const auto panels = selector.panels();
        return panels.empty() ? QString() : static_cast<capture::FrozenOverlay*>(panels.front())->notice();
    };
    ASSERT_TRUE(waitUntil([&] { return !notice().isEmpty(); }, 30s));
    holder.letGo();
    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere() && notice().isEmpty(); }, 30s))
        << "the veil did not take the keyboard it was let have";
    x.chord({x.keycodeOf(XK_Escape)});
    EXPECT_TRUE(waitUntil([&] { return cancelled; }, 10s));
}

TEST(HeldKeyboard, ThePickerSaysItOnTheVeilAndARightClickCancelsIt)
{
    qputenv("OMP_THREAD_LIMIT", "1");
    X11Client x;
    QTemporaryDir dir;
    KeyboardHolder holder;
    const QString file = dir.filePath(QStringLiteral("shot.png"));
    QProcess picker;
    picker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    picker.start(QStringLiteral(TARNWICK_CAPTURE), {"-i", "-x", "-t", "png", file});
    ASSERT_TRUE(picker.waitForStarted(10000));
    ASSERT_TRUE(waitUntil([&] { return !x.viewableUnmanagedWindows().isEmpty(); }, 30s)) << "no veil";
    // The picker's veil has no prompt: text there is the notice, read once it is written.
    ASSERT_TRUE(waitUntil([&] { return whiteTextPixels() > 400; }, 60s)) << "the veil says nothing";
    EXPECT_TRUE(waitUntil([&] { return saysKeyboardHeld(dir); }, 60s)) << topLeftText(dir).toStdString();
    x.click(700, 500, 3);
    ASSERT_TRUE(picker.waitForFinished(30000));
    EXPECT_EQ(picker.exitCode(), capture::pickerCancelled);
    EXPECT_FALSE(QFile::exists(file));
}

} // namespace
