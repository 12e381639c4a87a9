#include "RealProgram.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <xcb/xcb.h>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

struct WrittenIn {
    const char* name;
    std::uint32_t toolKey;
    const char16_t* windowName;
};

void PrintTo(const WrittenIn& written, std::ostream* out) { *out << written.name; }

// The option strip over the real program's toolbar, before and after a text was written
// in a window of its own, the comment sheet or the text panel: the editor it opened in, driven by keys.
class EditorStrip : public RealProgram, public ::testing::WithParamInterface<WrittenIn> {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        startDesktop();
        QImage picture(900, 500, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(70 + y / 3, 130 + y / 5, 180 + y / 8));
        ASSERT_TRUE(picture.save(image));
        startProgram({QStringLiteral("--open-image"), image});
        if (HasFatalFailure())
            return;
        QStringList found;
        ASSERT_TRUE(waitUntil([&] { return !(found = windows(QStringLiteral("^Tarnwick · A$"))).isEmpty(); }, 30s));
        editor = found.first();
        activateWindow(editor);
        // The pointer away from the strip, whose buttons light up under it.
        const QPoint at = origin(editor);
        x.movePointer(at.x() + 40, at.y() + 120);
        ASSERT_FALSE(settled().isNull());
    }

    QImage look() { return QGuiApplication::primaryScreen()->grabWindow(editor.toULongLong()).toImage(); }

    // The window once two looks agree with the program's answer to a ping between them: all it
    // had to draw by the first is on the server by the second.
    QImage settled()
    {
        QImage before = look(), now;
        const bool still = waitUntil(
            [&] {
                if (!x.ping(editor.toUInt()))
                    return false;
                now = look();
                const bool same = !now.isNull() && now == before;
                before = now;
                return same;
            },
            30s);
        return still ? now : QImage();
    }

    // A tool key in the editor and the window it leaves.
    QImage press(std::uint32_t keysym)
    {
        const QImage before = settled();
        x.chord({x.keycodeOf(keysym)});
        waitUntil([&] { return look() != before; }, 5s);
        return settled();
    }

    // The tool's key, a click on the shot, the text typed in the tool's own window, Ctrl+Enter there.
    void writeIn(std::uint32_t toolKey, const QString& windowName)
    {
        const QImage shown = look();
        x.chord({x.keycodeOf(toolKey)});
        const QPoint at = origin(editor);
        x.click(at.x() + (shown.width() - 264) / 2, at.y() + shown.height() / 2 - 60);
        QStringList window;
        ASSERT_TRUE(waitUntil([&] { return !(window = windows(windowName)).isEmpty(); }, 30s));
        // Typing starts once that window holds the keyboard, so no letter reaches the canvas as a tool key.
        ASSERT_TRUE(waitUntil([&] { return focusedWindow() == window.first(); }, 30s));
        typeText(QStringLiteral("Strip"), 20);
        x.chord({control, x.keycodeOf(XK_Return)});
        ASSERT_TRUE(waitUntil([&] { return windows(windowName).isEmpty(); }, 30s));
        activateWindow(editor);
    }

    // The windows the editor's window holds: its widgets draw into it, none has a window of its own.
    int childWindows()
    {
        xcb_connection_t* c = x.connection();
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, editor.toUInt()), nullptr);
        const int children = tree ? xcb_query_tree_children_length(tree) : -1;
        std::free(tree);
        return children;
    }

    QString image = home.filePath(QStringLiteral("shot.png"));
    QString editor;
};

TEST_P(EditorStrip, TheWidthGroupShowsBesideTheVariantsAfterATextWasWrittenInItsWindow)
{
    // The comments panel first, so that the toolbar and its strip keep their place throughout.
    press(XK_5);
    const QImage selecting = press(XK_1);
    const QImage drawing = press(XK_3);
    ASSERT_FALSE(selecting.isNull());
    ASSERT_FALSE(drawing.isNull());
    // The shape variants, the width group and the lit slot: all the rectangle tool changes.
    const QRect strip = differences(selecting, drawing);
    ASSERT_FALSE(strip.isEmpty());
    EXPECT_GT(strip.width(), 300) << "the variants and the width group side by side";

    writeIn(GetParam().toolKey, QString::fromUtf16(GetParam().windowName));
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(childWindows(), 0);
    const QImage after = press(XK_3);
    ASSERT_FALSE(after.isNull());
    EXPECT_EQ(differences(drawing.copy(strip), after.copy(strip)), QRect());
    // The same tool switched away from and back to draws the same strip again.
    press(XK_1);
    EXPECT_EQ(differences(drawing.copy(strip), press(XK_3).copy(strip)), QRect());
}

INSTANTIATE_TEST_SUITE_P(Windows, EditorStrip,
                         ::testing::Values(WrittenIn{"CommentSheet", XK_5, u"комментарий$"},
                                           WrittenIn{"TextPanel", XK_6, u"^Текст на снимке$"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tarnwick::test
