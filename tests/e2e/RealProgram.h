#pragma once

#include "support/X11Test.h"
#include "support/Xdotool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QScreen>
#include <QStyleHints>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace tarnwick::test {

// The bounding box of the pixels that differ, empty when none does.
inline QRect differences(const QImage& a, const QImage& b)
{
    const QImage one = a.convertToFormat(QImage::Format_RGB32), other = b.convertToFormat(QImage::Format_RGB32);
    QRect box;
    for (int y = 0; y < std::min(one.height(), other.height()); ++y)
        for (int x = 0; x < std::min(one.width(), other.width()); ++x)
            if (one.pixel(x, y) != other.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

// A small picture to open, each pixel its own colour.
inline QImage gradientPicture()
{
    QImage picture(240, 160, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x, y, (x * y) & 0xff));
    return picture;
}

// The real tarnwick (with tarnwick-capture beside it) under openbox and a tray
// host, with its own runtime and configuration folders, driven from outside
// as a user drives it: xdotool for windows, XTEST for keys and the pointer.
class RealProgram : public X11Test {
protected:
    // openbox and trayer; with `layouts`, the keyboard's groups as `setxkbmap -layout` takes them.
    void startDesktop(const QString& layouts = {})
    {
        // The window manager first: the tray host and the program's windows are taken in only
        // once it manages windows.
        desktop.push_back(std::make_unique<QProcess>());
        ASSERT_TRUE(startOpenbox(*desktop.back()));
        desktop.push_back(std::make_unique<QProcess>());
        desktop.back()->start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top"),
                                                         QStringLiteral("--align"), QStringLiteral("right"),
                                                         QStringLiteral("--widthtype"), QStringLiteral("request"),
                                                         QStringLiteral("--height"), QStringLiteral("32")});
        ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("_NET_SYSTEM_TRAY_S0") != 0; }, std::chrono::seconds(30)));
        if (!layouts.isEmpty()) {
            ASSERT_EQ(runProcess(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layouts}), 0);
        }
    }

    // Starts tarnwick (or a copy of it at `program`) and waits for its panel and its tray icon.
    void startProgram(const QStringList& arguments = {}, const QString& program = QStringLiteral(TARNWICK_APP))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.isEmpty() ? home.filePath(QStringLiteral("config")) : configHome);
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        QDir().mkpath(home.filePath(QStringLiteral("run")));
        QFile::setPermissions(home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        app.setProcessEnvironment(environment);
        if (app.processChannelMode() == QProcess::SeparateChannels)
            app.setProcessChannelMode(QProcess::ForwardedChannels);
        app.start(program, arguments);
        ASSERT_TRUE(app.waitForStarted(30000));
        // The panel, or the editor an image opens in.
        ASSERT_TRUE(waitUntil([&] { return !windows(QStringLiteral("^Tarnwick")).isEmpty(); }, std::chrono::seconds(30)));
        // The tray host grows once our icon is docked in it.
        ASSERT_TRUE(waitUntil([&] { return !trayIcon().isNull(); }, std::chrono::seconds(30)));
    }

    void TearDown() override
    {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
        for (auto& p : desktop) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

    static QStringList lines(const QByteArray& text) { return outputLines(text); }

    // Visible windows whose name matches the pattern.
    QStringList windows(const QString& name) { return visibleWindows({QStringLiteral("--name"), name}); }

    QRect geometry(const QString& window) { return windowGeometry(window); }

    // Where a window's own pixels start on the root: xdotool's geometry of a framed window is off by its frame.
    QPoint origin(const QString& window)
    {
        xcb_connection_t* c = x.connection();
        auto* reply = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window.toUInt(), x.root(), 0, 0), nullptr);
        const QPoint at = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint();
        std::free(reply);
        return at;
    }

    // Where the tray icon stands. xdotool finds nothing while a window it walks past goes away
    // (a dialog just closed): looks again until it finds the icon.
    QRect trayIcon()
    {
        QRect icon;
        waitUntil(
            [&] {
                QByteArray out;
                runProcess(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--class", "trayer"}, &out);
                for (const QString& w : lines(out))
                    if (const QRect r = geometry(w); r.width() >= 16 && r.width() < 200)
                        return !(icon = r).isEmpty();
                return false;
            },
            std::chrono::seconds(30));
        return icon;
    }

    // The window with the keyboard and every visible named window, for a failure's message.
    std::string deskState()
    {
        auto named = [](const QString& w) {
            QByteArray name;
            runProcess(QStringLiteral("xdotool"), {"getwindowname", w}, &name);
            return w + " «" + QString::fromUtf8(name.trimmed()) + "»";
        };
        QStringList shown;
        for (const QString& w : windows(QStringLiteral(".")))
            shown << named(w);
        return ("focus on " + named(focusedWindow()) + "; shown: " + shown.join(", ")).toStdString();
    }

    void activateWindow(const QString& window)
    {
        runProcess(QStringLiteral("xdotool"), {"windowactivate", "--sync", window});
    }

    // The window holding the X input focus.
    QString focusedWindow()
    {
        QByteArray focus;
        runProcess(QStringLiteral("xdotool"), {"getwindowfocus"}, &focus);
        return QString::fromUtf8(focus.trimmed());
    }

    // A click the program takes for a click of its own, never for the second half of a double
    // click: a press at the last click's place within the desktop's double-click time is one,
    // and a double right click opens no tray menu. Waits out what is left of that time.
    void singleClick(int atX, int atY, std::uint8_t button = 1)
    {
        const QPoint at(atX, atY), moved = at - lastClickAt;
        const QStyleHints* hints = QGuiApplication::styleHints();
        const int interval = hints->mouseDoubleClickInterval() + 50, distance = hints->mouseDoubleClickDistance();
        if (lastClick.isValid() && std::abs(moved.x()) <= distance && std::abs(moved.y()) <= distance &&
            lastClick.elapsed() < interval)
            waitUntil([] { return false; }, std::chrono::milliseconds(interval - lastClick.elapsed()));
        x.click(atX, atY, button);
        lastClick.start();
        lastClickAt = at;
    }

    // Opens the tray icon's menu; true once it holds the keyboard.
    bool openTrayMenu()
    {
        const QRect icon = trayIcon();
        if (icon.isEmpty())
            return false;
        // The first press on the icon is now and then lost: press again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            singleClick(icon.center().x(), icon.center().y(), 3);
            if (waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, std::chrono::seconds(10)))
                return true;
            std::fprintf(stderr, "tray click %d at %d,%d went unanswered: %lld menus shown, %s\n", attempt,
                         icon.center().x(), icon.center().y(), qlonglong(x.viewableUnmanagedWindows().size()),
                         deskState().c_str());
        }
        return false;
    }

    QString panel()
    {
        // The panel is the one "Tarnwick" window that is not a question.
        const QStringList found = windows(QStringLiteral("^Tarnwick$"));
        for (const QString& w : found)
            if (geometry(w).width() <= 200)
                return w;
        return {};
    }

    // A question box of the program in front: a "Tarnwick" window wider than the panel.
    QString question()
    {
        for (const QString& w : windows(QStringLiteral("^Tarnwick$")))
            if (geometry(w).width() > 200)
                return w;
        return {};
    }

    // Waits for a question to hold the keyboard.
    QString waitForQuestion()
    {
        QString box;
        if (!waitUntil([&] { return !(box = question()).isEmpty() && focusedWindow() == box; }, std::chrono::seconds(30)))
            return {};
        return box;
    }

    // Where `word` is written lowest in `window` (root coordinates: a button's label below the
    // question's text), read by Tesseract as a user reads it; only in `part` of the window when
    // given (a strip of a large window, where little text stands among pictures).
    std::optional<QPoint> findWord(const QString& window, const QString& word, const QRect& part = {})
    {
        // A window just mapped may not be painted yet: read again until the word shows.
        std::optional<QPoint> found;
        waitUntil([&] { return (found = readWord(window, word, part)).has_value(); }, std::chrono::seconds(15));
        if (!found)
            std::printf("no «%s» in window %s\n", qPrintable(word), qPrintable(window));
        return found;
    }

    std::optional<QPoint> readWord(const QString& window, const QString& word, const QRect& part = {})
    {
        constexpr int zoom = 3;
        QImage look = QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
        if (!part.isEmpty())
            look = look.copy(part);
        look = look.convertToFormat(QImage::Format_Grayscale8).scaled(look.size() * zoom, Qt::IgnoreAspectRatio,
                                                                          Qt::SmoothTransformation);
        look.invertPixels(); // dark buttons, light text
        const QString file = home.filePath(QStringLiteral("ocr.png"));
        look.save(file);
        QByteArray tsv;
        runProcess(QStringLiteral("tesseract"), {file, QStringLiteral("-"), QStringLiteral("-l"), QStringLiteral("rus"),
                                                 QStringLiteral("tsv")},
                   &tsv, {}, std::chrono::seconds(30));
        const QPoint at = origin(window) + (part.isEmpty() ? QPoint() : part.topLeft());
        std::optional<QPoint> lowest;
        for (const QString& line : lines(tsv)) {
            const QStringList f = line.split(u'\t');
            if (f.size() >= 12 && f[11].trimmed().compare(word, Qt::CaseInsensitive) == 0) {
                const QPoint centre = at + QRect(f[6].toInt(), f[7].toInt(), f[8].toInt(), f[9].toInt()).center() / zoom;
                if (!lowest || centre.y() > lowest->y())
                    lowest = centre;
            }
        }
        return lowest;
    }

    // Chooses the tray menu's entry `upward` places above its end.
    void trayEntry(int upward)
    {
        ASSERT_TRUE(openTrayMenu());
        for (int i = 0; i < upward; ++i)
            x.chord({x.keycodeOf(XK_Up)});
        x.chord({x.keycodeOf(XK_Return)});
    }

    // Opens the panel's "…" menu; true once it holds the keyboard.
    bool openPanelMenu()
    {
        // xdotool finds nothing while a window it walks past goes away (a dialog just closed):
        // a click at an empty rectangle's corner would miss the panel.
        QRect p;
        if (!waitUntil([&] { const QString w = panel(); return !w.isEmpty() && !(p = geometry(w)).isEmpty(); }, std::chrono::seconds(10)))
            return false;
        // The menu button sits left of the hide button, at the top right of the card.
        singleClick(p.right() - 10 - 20 - 3 - 9, p.top() + 20);
        return waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, std::chrono::seconds(10));
    }

    bool running() { return app.state() != QProcess::NotRunning; }

    // Chooses "Очистить серию…" in the panel's menu and waits for the question.
    QString askToClear()
    {
        if (!openPanelMenu())
            return {};
        // The menu ends "Очистить серию…", "Скрыть окно", "Открыть изображение…", "О Tarnwick", "Завершить Tarnwick".
        for (int i = 0; i < 5; ++i)
            x.chord({x.keycodeOf(XK_Up)});
        x.chord({x.keycodeOf(XK_Return)});
        return waitForQuestion();
    }

    QTemporaryDir home;
    QString configHome; // where the preferences are; empty: in `home`
    QElapsedTimer lastClick;
    QPoint lastClickAt;
    QProcess app;
    std::vector<std::unique_ptr<QProcess>> desktop;
};

} // namespace tarnwick::test
