#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelView.h"
#include "panels/PanelDragRegion.h"
#include "panels/ShotStack.h"
#include "platform/ActiveWindow.h"
#include "platform/X11Connection.h"
#include "recording/RecordingControlPanel.h"
#include "recording/RecordingUIModel.h"
#include "series/SeriesTestSupport.h"
#include "support/X11Client.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QToolButton>
#include <QToolTip>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace std::chrono_literals;

namespace {

// The windows that never take the keys, hovered under openbox while another program's window
// has them: each help text shows whole, and the keys stay where they were.
class NoFocusHelp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::startOpenbox(openbox));
        chat = client.createWindow(std::nullopt, "chat", "Chat");
        platform::activateWindow(connection, chat);
        ASSERT_TRUE(test::waitUntil([&] { return active() == chat; }));
    }
    void TearDown() override
    {
        openbox.kill();
        openbox.waitForFinished(2000);
    }

    std::uint32_t active()
    {
        const std::vector<std::uint32_t> value = client.cardinals(client.root(), "_NET_ACTIVE_WINDOW");
        return value.empty() ? 0 : value[0];
    }

    // Shown, and where Qt thinks it is: the window manager may still be placing a new window, and
    // the pointer would rest beside it.
    bool placed(const QWidget& window)
    {
        xcb_connection_t* c = client.connection();
        const auto id = static_cast<std::uint32_t>(window.winId());
        const test::Reply<xcb_get_window_attributes_reply_t> attributes =
            test::reply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
        const test::Reply<xcb_translate_coordinates_reply_t> origin = test::reply(
            xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, client.root(), 0, 0), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && origin
            && QPoint(origin->dst_x, origin->dst_y) == window.geometry().topLeft();
    }

    // Whether the server shows a window of our own at `geometry` above the others' windows, as
    // tool tips are shown (Qt may make the tip's native window anew, so its id is no guide).
    bool onScreen(const QRect& geometry)
    {
        xcb_connection_t* c = client.connection();
        const auto tree = test::reply(xcb_query_tree_reply(c, xcb_query_tree(c, client.root()), nullptr));
        if (!tree)
            return false;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const auto attributes =
                test::reply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
            const auto where = test::reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr));
            if (attributes && where && attributes->override_redirect && attributes->map_state == XCB_MAP_STATE_VIEWABLE
                && QRect(where->x, where->y, where->width, where->height) == geometry)
                return true;
        }
        return false;
    }

    // The tool tip Qt shows, when one is on the screen.
    const QLabel* shownTip()
    {
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->windowType() == Qt::ToolTip && w->isVisible() && onScreen(w->geometry()))
                return qobject_cast<const QLabel*>(w);
        return nullptr;
    }

    // Rests the pointer on `widget` of `window` and waits for its help text, which must be `text`
    // whole, on the screen; the window is never made active on the way, nor given the keys.
    void expectTip(const QWidget& window, const QWidget& widget, const QString& text)
    {
        SCOPED_TRACE(text.toStdString());
        QToolTip::hideText();
        client.movePointer(0, 0); // on the chat, away from every tip
        ASSERT_TRUE(test::waitUntil([&] { return !QToolTip::isVisible(); }, 30s));
        const QPoint at = widget.mapToGlobal(widget.rect().center());
        client.movePointer(at.x() - 1, at.y());
        client.movePointer(at.x(), at.y());
        EXPECT_TRUE(test::waitUntil([&] { return shownTip() && QToolTip::text() == text; }, 10s))
            << "shown: " << (QToolTip::isVisible() ? QToolTip::text().toStdString() : "nothing");
        if (const QLabel* tip = shownTip()) {
            // Large enough for its text, and on the screen whole.
            EXPECT_EQ(tip->text(), text);
            EXPECT_GE(tip->width(), tip->sizeHint().width());
            EXPECT_GE(tip->height(), tip->sizeHint().height());
            EXPECT_TRUE(tip->screen()->geometry().contains(tip->geometry()));
        }
        EXPECT_EQ(active(), chat) << "the window manager made another window active";
        EXPECT_EQ(client.inputFocus(), chat) << "the keys left the chat";
        EXPECT_FALSE(window.isActiveWindow());
        EXPECT_EQ(QApplication::activeWindow(), nullptr);
    }

    QProcess openbox;
    test::X11Client client;
    platform::X11Connection connection;
    std::uint32_t chat = 0;
};

TEST_F(NoFocusHelp, ThePanelShowsEachHelpTextWholeWithoutTakingTheKeys)
{
    test::SeriesParts<test::FakeClipboardBackend> parts;
    AppModel model(parts.bridge, parts.settings);
    model.save(test::shotWithComments({QStringLiteral("один")}), {}, false);
    const QString status = QStringLiteral("Ctrl+Shift+Пробел недоступно. Выберите снимок окна в меню Tarnwick или "
                                          "освободите сочетание клавиш в настройках рабочего стола.");
    model.setStatus(status);
    FloatingPanel panel(model, parts.settings);
    panel.present();
    ASSERT_TRUE(test::waitUntil([&] { return placed(panel); }));
    FloatingPanelView& view = panel.view();
    ASSERT_TRUE(test::waitUntil([&] { return view.statusLabel().text().contains(u'\n'); }));
    ASSERT_NE(view.statusLabel().text(), status) << "a status of three lines is cut at two";

    const QList<ShotCard*> cards = view.shotStack().cards();
    ASSERT_EQ(cards.size(), 1);

    expectTip(panel, view.hideButton(), QStringLiteral("Свернуть окно — Tarnwick останется в трее"));
    expectTip(panel, view.menuButton(), QStringLiteral("Снимки, передача и настройки"));
    expectTip(panel, view.statusLabel(), status);
    expectTip(panel, *cards[0], QStringLiteral("Редактировать снимок A"));
    expectTip(panel, view.dragRegion(), QStringLiteral("Перетащите, чтобы переместить окно"));
}

TEST_F(NoFocusHelp, TheRecordingStopControlShowsItsHelpTextWithoutTakingTheKeys)
{
    recording::RecordingUIModel model(nullptr);
    model.setPhase(recording::RecordingPhase::recording);
    recording::RecordingControlPanel strip(model);
    strip.move(400, 300);
    strip.showWithoutFocus();
    ASSERT_TRUE(test::waitUntil([&] { return placed(strip); }));
    expectTip(strip, *strip.stopButton(), QStringLiteral("Остановить запись и открыть обрезку"));
}

} // namespace
