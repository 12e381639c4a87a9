// Every window of the program on one desk of small or scaled monitors under openbox, with a
// taskbar (trayer) keeping 32 px along the bottom: each opens with its frame, title bar and every
// button on the usable area (the work area less the taskbar), and on a desk split into a 1× and a
// scaled monitor each is dragged by openbox (Alt+drag) to the other monitor and back, keeping its
// size in points as far as the monitor has room. The desk is the build's (tests/app/CMakeLists.txt):
// one program per desk, as Qt reads the scales once, at its start.

#include "ShellFixture.h"
#include "audit/OpenedWindows.h"
#include "recording/ClipEngine.h"
#include "support/DockedDesk.h"

#include "editor/model/EditorState.h"
#include "editor/tools/TextEditorPresenter.h"
#include "editor/window/EditorCommentSheet.h"
#include "editor/window/EditorExportWindow.h"
#include "editor/window/EditorView.h"
#include "panels/FloatingPanel.h"
#include "panels/FloatingPanelView.h"
#include "recording/RecordingWindow.h"
#include "recording/ScreenRecordingController.h"

#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QScrollArea>
#include <QStyle>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <X11/keysym.h>
#include <xcb/xcb.h>

using namespace std::chrono_literals;
using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// "A=1,B=2" for a desk split into two monitors, "1.5" for one: the build says which.
const QByteArray deskScales = QByteArray(TARNWICK_TEST_DESK_SCALES).replace(',', ';');
// Made before main makes the application.
const bool scaled = qputenv("QT_SCREEN_SCALE_FACTORS", deskScales);
const bool split = deskScales.contains('=');

class EveryWindowOnTheDesk : public ShellTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scaled);
        if (split) {
            ASSERT_TRUE(splitIntoMonitors());
        }
        const QRect desk = x.rootGeometry(x.root());
        monitors = split ? QList<QRect>{QRect(0, 0, desk.width() / 2, desk.height()),
                                        QRect(desk.width() / 2, 0, desk.width() / 2, desk.height())}
                         : QList<QRect>{desk};
        desktop << new QProcess;
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop << new QProcess;
        desktop.back()->start(QStringLiteral("trayer"), {"--edge", "bottom", "--height", "32", "--SetDockType", "true",
                                                         "--SetPartialStrut", "true"});
        const std::vector<std::uint32_t> dockless{0, 0, std::uint32_t(desk.width()), std::uint32_t(desk.height() - 32)};
        ASSERT_TRUE(waitUntil([&] {
            std::vector<std::uint32_t> area = x.cardinals(x.root(), "_NET_WORKAREA");
            area.resize(std::min<std::size_t>(area.size(), 4));
            return area == dockless && x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0;
        }, 30s)) << "the taskbar keeps no room";
        workArea = QRect(0, 0, desk.width(), desk.height() - 32);
        startAsking();
    }

    // The monitor (root pixels) holding most of `frame`, and the part of it windows may use.
    QRect monitorOf(const QRect& frame) const
    {
        const auto area = [](const QRect& r) { return r.isEmpty() ? 0 : r.width() * r.height(); };
        return area(frame & monitors.front()) >= area(frame & monitors.back()) ? monitors.front() : monitors.back();
    }
    QRect usableOn(const QRect& monitor) const { return monitor & workArea; }
    QScreen* screenOf(const QRect& monitor) const
    {
        return QGuiApplication::screens().at(monitor == monitors.front() ? 0 : QGuiApplication::screens().size() - 1);
    }

    // Where the server shows the window with its frame, once it stays put.
    struct Shown {
        QRect frame, client;
    };
    Shown settled(const QWidget& window, const std::string& what)
    {
        const auto id = std::uint32_t(window.winId());
        Shown shown;
        shown.frame = settledPlace([&] {
            const std::vector<std::uint32_t> e = x.cardinals(id, "_NET_FRAME_EXTENTS");
            shown.client = window.isVisible() ? x.rootGeometry(id) : QRect();
            if (e.size() != 4 || shown.client.isEmpty())
                return QRect();
            return shown.client.adjusted(-int(e[0]), -int(e[2]), int(e[1]), int(e[3]));
        }, what);
        return shown;
    }

    // The window as it stays put: its frame and the usable area of its monitor, the buttons that
    // show on it in root pixels, its size in points and the room its monitor leaves it.
    struct Measured {
        Shown shown;
        QRect usable;
        QList<std::pair<std::string, QRect>> buttons;
        QList<std::string> cut; // buttons that show only in part, even scrolled to
        QSize points, room;
        bool fits = true; // what expectFits found
    };
    Measured measure(QWidget& window, const std::string& what)
    {
        Measured m;
        m.shown = settled(window, what);
        const QRect monitor = monitorOf(m.shown.frame);
        m.usable = usableOn(monitor);
        const double ratio = screenOf(monitor)->devicePixelRatio();
        for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
            if (!button->isVisible() || button->window() != &window)
                continue;
            // Scrolled to where it shows, where the window has less room than its content.
            for (QWidget* up = button->parentWidget(); up && up != &window; up = up->parentWidget())
                if (auto* area = qobject_cast<QScrollArea*>(up))
                    area->ensureWidgetVisible(button, 0, 0);
            QCoreApplication::processEvents();
            const QRect seen = button->visibleRegion().boundingRect();
            if (seen != button->rect())
                m.cut << audit::nameOf(button) + " (" + text(seen) + " of " + text(button->rect()) + ")";
            if (seen.isEmpty())
                continue;
            const QPoint at = button->mapTo(&window, seen.topLeft());
            m.buttons << std::pair(audit::nameOf(button), QRect(m.shown.client.topLeft() + (QPointF(at) * ratio).toPoint(),
                                                                (QSizeF(seen.size()) * ratio).toSize()));
        }
        const QSize frame = m.shown.frame.size() - m.shown.client.size();
        m.room = (QSizeF(m.usable.size() - frame) / ratio).toSize();
        m.points = (QSizeF(m.shown.client.size()) / ratio).toSize();
        return m;
    }

    // The window's frame, its title bar with it, and every button that shows on it lie on the
    // usable area of its monitor.
    Measured expectFits(QWidget& window, const std::string& what)
    {
        Measured m = measure(window, what);
        if (const QString shots = qEnvironmentVariable("TARNWICK_TEST_SHOTS"); !shots.isEmpty()) // for a look at the desk
            runProcess("import", {"-window", "root", QStringLiteral("%1/%2x%3 %4 %5.png").arg(shots).arg(workArea.width()).arg(workArea.height() + 32)
                                                        .arg(deskScales, QString::fromStdString(what))});
        m.fits = m.usable.contains(m.shown.frame) && m.cut.isEmpty();
        EXPECT_TRUE(m.usable.contains(m.shown.frame))
            << what << ": the frame at " << text(m.shown.frame) << " leaves the usable " << text(m.usable);
        for (const auto& [name, pixels] : m.buttons) {
            m.fits = m.fits && m.usable.contains(pixels);
            EXPECT_TRUE(m.usable.contains(pixels))
                << what << ": " << name << " at " << text(pixels) << " leaves the usable " << text(m.usable);
        }
        for (const std::string& name : m.cut)
            ADD_FAILURE() << what << ": " << name << " shows only in part";
        return m;
    }

    // True once openbox has handled every event that reached it before: it answers a request for a
    // new window's frame widths only after those.
    bool openboxCaughtUp()
    {
        xcb_connection_t* c = x.connection();
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, x.root(), 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_client_message_event_t ask{};
        ask.response_type = XCB_CLIENT_MESSAGE;
        ask.format = 32;
        ask.window = probe;
        ask.type = reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 26, "_NET_REQUEST_FRAME_EXTENTS"), nullptr))->atom;
        xcb_send_event(c, 0, x.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ask));
        x.sync();
        const bool answered = waitUntil([&] { return x.cardinals(probe, "_NET_FRAME_EXTENTS").size() == 4; }, 30s);
        xcb_destroy_window(c, probe);
        x.sync();
        return answered;
    }

    // openbox's own move: Alt held, `window` dragged by a point inside it across the desk, as a
    // hand drags it. openbox takes in only the last of the motions it finds waiting, so it
    // catches up after each step.
    void altDrag(const QWidget& window, QPoint from, QPoint to)
    {
        const std::uint8_t alt = x.keycodeOf(XK_Alt_L);
        const auto id = std::uint32_t(window.winId());
        const QPoint before = x.rootGeometry(id).topLeft();
        x.movePointer(from.x(), from.y());
        x.press(alt);
        x.button(1, true);
        x.movePointer(from.x() + 12, from.y() + 12);
        ASSERT_TRUE(openboxCaughtUp());
        EXPECT_TRUE(x.keyboardGrabbedElsewhere()) << "openbox did not begin the move";
        constexpr int steps = 8;
        for (int step = 1; step <= steps; ++step) {
            x.movePointer(from.x() + (to.x() - from.x()) * step / steps, from.y() + (to.y() - from.y()) * step / steps);
            ASSERT_TRUE(openboxCaughtUp());
        }
        EXPECT_EQ(x.rootGeometry(id).topLeft() - before, to - from) << "the frame did not follow the pointer";
        x.button(1, false);
        x.release(alt);
        ASSERT_TRUE(openboxCaughtUp());
    }

    // The window fits where it opened, beside the floating panel where the monitor has room for
    // both, and, on a split desk, dragged to the other monitor and back, where it has its size in
    // points again as far as the monitor has room.
    void expectFitsAndKeepsItsPoints(QWidget& window, const std::string& what, bool opening = true)
    {
        const Measured opened = expectFits(window, what);
        FloatingPanel& panel = *shell->panel();
        if (opening && &window != &panel && panel.isVisible()) {
            const QRect beside = settled(panel, "the panel").frame, frame = opened.shown.frame;
            const int gap = 16; // pixels: what the window keeps from the panel
            // The room is what the panel leaves beside it, as it stands off the edges.
            const QRect& usable = opened.usable;
            const int across = std::max(beside.left() - usable.left(), usable.right() - beside.right());
            const int down = std::max(beside.top() - usable.top(), usable.bottom() - beside.bottom());
            const bool room = frame.width() + gap <= across || frame.height() + gap <= down;
            if (room && monitorOf(beside) == monitorOf(frame)) {
                EXPECT_FALSE(frame.intersects(beside)) << what << " at " << text(frame) << " opens under the panel at " << text(beside);
            }
        }
        if (!split || !opened.fits)
            return;
        // The next window opens where the user works: on A, where the pointer is left.
        const auto backHome = qScopeGuard([this] { x.movePointer(monitors.front().center().x(), monitors.front().center().y()); });
        const QRect home = monitorOf(opened.shown.frame);
        for (const QRect& monitor : {home == monitors.front() ? monitors.back() : monitors.front(), home}) {
            const std::string moved = what + (monitor == monitors.front() ? ", dragged to A" : ", dragged to B");
            const QPoint grip = settled(window, moved).client.center();
            altDrag(window, grip, QPoint(monitor.center().x(), grip.y()));
            // Qt has the window on that monitor, and the window its size in points, once it stays put
            // there: back home the size it opened with; on the other monitor that size as far as the
            // room allows (rounded inwards at a fractional scale: a point or two less), a scroll bar's
            // width more where a scroll area took the height it lacked.
            Measured there;
            QSize wanted;
            const int bar = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
            const auto near = [](int now, int want, int more) { return now >= want - 2 && now <= want + more; };
            const bool kept = waitUntil([&] {
                there = measure(window, moved);
                wanted = opened.points.boundedTo(there.room);
                const bool cutHigh = monitor != home && wanted.height() < opened.points.height();
                return monitorOf(there.shown.frame) == monitor && window.screen() == screenOf(monitor)
                    && near(there.points.width(), wanted.width(), cutHigh ? bar : 1)
                    && near(there.points.height(), wanted.height(), 1);
            }, 30s);
            EXPECT_TRUE(kept) << moved << ": at " << text(there.shown.frame) << ", " << there.points.width() << "×"
                              << there.points.height() << " pt; " << wanted.width() << "×" << wanted.height() << " pt wanted";
            if (!kept || !expectFits(window, moved).fits)
                return;
        }
    }

    // A question or dialog the program runs in a loop of its own: looked at inside it, then closed.
    template <typename Kind>
    void expectModalFits(const std::function<void()>& open, const std::string& what)
    {
        const bool seen = audit::lookInside([] { return qobject_cast<Kind*>(QApplication::activeModalWidget()); }, open,
                                            [&](QWidget* w) { expectFitsAndKeepsItsPoints(*w, what); });
        EXPECT_TRUE(seen) << what << " never showed";
    }

    static QWidget* titled(const QString& title)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == title)
                return w;
        return nullptr;
    }

    QList<QRect> monitors;
    QRect workArea;
};

TEST_F(EveryWindowOnTheDesk, EachFitsTheUsableAreaAndKeepsItsSizeInPoints)
{
    x.movePointer(monitors.front().center().x(), monitors.front().center().y()); // the user works on A
    FloatingPanel& panel = *shell->panel();
    expectFitsAndKeepsItsPoints(panel, "the panel");
    expectModalFits<QMessageBox>([&] { shell->about(); }, "«О Tarnwick»");
    expectModalFits<QFileDialog>([&] { shell->openImage(); }, "«Открыть изображение»");

    for (const QString& title : {QStringLiteral("Горячие клавиши · Tarnwick"), QStringLiteral("Tarnwick · Разрешения")}) {
        title.startsWith(u'Г') ? shell->showShortcutGuide() : shell->showPermissionSetup();
        QWidget* window = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (window = titled(title)) != nullptr; }, 30s)) << title.toStdString();
        expectFitsAndKeepsItsPoints(*window, title.toStdString());
        window->close();
    }

    QImage picture(2400, 1500, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    shell->openEditor(Screenshot::make(picture, 1), QStringLiteral("A"));
    EditorExportWindow* editor = shell->editor();
    ASSERT_TRUE(editor);
    expectFitsAndKeepsItsPoints(*editor, "the editor");

    editor->state().text().request({100, 100}, std::nullopt);
    QWidget* textPanel = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (textPanel = titled(QStringLiteral("Текст на снимке"))) != nullptr; }, 30s));
    expectFitsAndKeepsItsPoints(*textPanel, "the text panel");
    editor->state().text().setOpen(false);

    editor->state().comment().request({120, 120}, std::nullopt);
    EditorCommentSheet* sheet = editor->view().commentSheet();
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); }, 30s));
    expectFitsAndKeepsItsPoints(*sheet, "the comment sheet");
    editor->state().comment().setOpen(false);

    QAction* chooseFile = nullptr;
    for (QAction* action : editor->findChildren<QAction*>())
        if (action->text() == QStringLiteral("Выбрать файл…"))
            chooseFile = action;
    ASSERT_TRUE(chooseFile);
    expectModalFits<QFileDialog>([&] { chooseFile->trigger(); }, "the editor's «Добавить изображение»");
    expectModalFits<QMessageBox>([&] { shell->shouldQuit(); }, "«Завершить Tarnwick?»");
    expectModalFits<QMessageBox>([&] { model().showError(QStringLiteral("Не удалось сохранить снимок.")); }, "an alert");
    shell->finishEditor(false, false);

    // The recorder's windows, its recording a clip made beforehand.
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_EQ(makeClip(clip), 0);
    settings.setValue("recordingEntireDisplay", true);
    recording::RecordingServices services = recording::RecordingServices::system();
    services.temporaryRoot = root;
    services.makeEngine = [clip] { return std::make_shared<ClipEngine>(clip); };
    services.confirmDiscard = [](QWidget*) { return true; };
    recording::ScreenRecordingController recorder(&settings, [] { return true; }, services);
    recorder.present();
    expectFitsAndKeepsItsPoints(*recorder.window(), "the recording setup");
    recorder.model().startAction();
    ASSERT_TRUE(waitUntil([&] { return recorder.model().phase() == recording::RecordingPhase::recording; }, 30s));
    recorder.model().stopAction();
    ASSERT_TRUE(waitUntil([&] { return recorder.model().phase() == recording::RecordingPhase::review; }, 30s));
    expectFitsAndKeepsItsPoints(*recorder.window(), "the recording review", false);
}

} // namespace
