#pragma once

// The windows a window opens over itself, opened as a user opens them: a tool tip under the
// pointer, a context menu by the right button, a question. Each is looked at while it is up,
// also when it runs an event loop of its own, and then closed.

#include "AuditedShell.h"

#include <QtWidgets>
#include <functional>
#include <set>
#include <string>

namespace tarnwick::audit {

// Runs `open`, which may block in a window's own loop; `look` gets the window `find` returns
// once it shows (from a timer, so also inside that loop) and closes it. False when none showed.
inline bool lookInside(const std::function<QWidget*()>& find, const std::function<void()>& open,
                       const std::function<void(QWidget*)>& look)
{
    bool seen = false;
    // Looked at once; a menu that closes itself meanwhile may be gone by the end of the look.
    const auto lookOnce = [&] {
        const QPointer<QWidget> shown = seen ? nullptr : find();
        if (!shown)
            return;
        seen = true;
        look(shown);
        if (shown)
            shown->close();
    };
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, lookOnce);
    timer.start();
    open();
    // A window shown without a loop of its own (QMenu::popup) is open now.
    lookOnce();
    timer.stop();
    return seen;
}

inline QWidget* shownTip()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::ToolTip)
            return w;
    return nullptr;
}

// Every tool tip and every context menu of the shown windows, once per window kind and tip text
// or widget kind over the whole run: `look` gets the tip or menu and the widget it came from.
inline void openTipsAndContextMenus(const std::string& scene, const std::function<void(QWidget*, QWidget*, const std::string&)>& look)
{
    static std::set<std::string> seen;
    // A window looked at for a while may drop widgets meanwhile (a menu closing deletes itself).
    const QList<QWidget*> windows = shownWindows();
    for (const QPointer<QWidget> window : windows) {
        if (!window || qobject_cast<QMenu*>(window))
            continue;
        const std::string kind = window->metaObject()->className();
        QList<QPointer<QWidget>> widgets{window};
        for (QWidget* child : window->findChildren<QWidget*>())
            widgets << child;
        for (const QPointer<QWidget>& w : widgets) {
            if (!w || !window || !w->isVisible() || (w != window && w->isWindow()))
                continue;
            const QPoint centre = w->rect().center(), global = w->mapToGlobal(centre);
            if (!w->toolTip().isEmpty() && seen.insert(kind + " tip " + w->toolTip().toStdString()).second) {
                QHelpEvent help(QEvent::ToolTip, centre, global);
                QCoreApplication::sendEvent(w, &help);
                QWidget* tip = nullptr;
                if (QTest::qWaitFor([&] { return (tip = shownTip()) && QToolTip::text() == w->toolTip(); }, 2000))
                    look(tip, w, scene + ", the tip of " + nameOf(w));
                else
                    ADD_FAILURE() << scene << ", " << nameOf(w) << ": its tool tip «" << w->toolTip().toStdString() << "» never shows";
                // Gone before the next: a tip still fading out would be taken for the next one.
                QToolTip::hideText();
                EXPECT_TRUE(QTest::qWaitFor([] { return !shownTip(); }, 30000)) << scene << ", " << nameOf(w) << ": its tip stays";
            }
            // A scroll area's viewport is told apart by its area, a container by what holds it.
            const QWidget* holder = w == window ? nullptr : w->parentWidget();
            const std::string where = std::string(holder ? holder->metaObject()->className() : "") + ">" + w->metaObject()->className();
            if (seen.insert(kind + " menu " + where).second) {
                QWidget* before = QApplication::activePopupWidget();
                const QPointer<QWidget> from(w);
                lookInside([&]() -> QWidget* {
                    QWidget* popup = QApplication::activePopupWidget();
                    return popup != before && qobject_cast<QMenu*>(popup) ? popup : nullptr;
                }, [&] {
                    QContextMenuEvent menu(QContextMenuEvent::Mouse, centre, global);
                    QCoreApplication::sendEvent(w, &menu);
                }, [&](QWidget* menu) { look(menu, from, scene + ", the context menu of " + where); });
            }
        }
    }
}

} // namespace tarnwick::audit
