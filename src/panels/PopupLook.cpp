#include "panels/PopupLook.h"

#include "panels/DarkStyle.h"
#include "series/Palette.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QToolTip>
#include <QWidget>

namespace tarnwick {
namespace {

// A window opened on behalf of another widget: a menu or a list (Qt::Popup), or a question or a
// dialog, also one opened with no widget behind it (from the tray, say).
bool opensOver(const QWidget& w)
{
    return w.isWindow() && ((w.windowType() == Qt::Popup && w.parentWidget()) || qobject_cast<const QDialog*>(&w));
}

// Whether `w` lies on a dark surface. A widget with a style sheet of its own has the application's
// palette, whatever it lies on: its parent tells.
bool onDarkSurface(const QWidget* w)
{
    while (!w->styleSheet().isEmpty() && w->parentWidget() && !w->isWindow())
        w = w->parentWidget();
    return DarkStyle::dark(w->palette());
}

class PopupLook : public QObject {
public:
    explicit PopupLook(QObject* parent) : QObject(parent), lightTips_(QToolTip::palette()) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Polish:
        case QEvent::Show:
            // Polished before it is first measured; shown, in case the opener changed since.
            // With no widget behind it, it opens over the program's own windows, which are dark.
            if (opensOver(*w) && (!w->parentWidget() || onDarkSurface(w->parentWidget())) && !DarkStyle::dark(w->palette()))
                w->setPalette(Theme::darkPalette());
            if (event->type() == QEvent::Show && w->isWindow())
                dropStaleHover(w);
            break;
        case QEvent::ToolTip:
            // One tip window serves every widget: it takes the look of the one asking now.
            if (const bool dark = onDarkSurface(w); dark != darkTips_) {
                darkTips_ = dark;
                QToolTip::setPalette(dark ? Theme::darkPalette() : lightTips_);
            }
            break;
        case QEvent::Hide:
            if (w->isWindow() && (w->windowType() == Qt::Popup || qobject_cast<QDialog*>(w)))
                dropStaleHover(nullptr);
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (!w->isWindow() && w->testAttribute(Qt::WA_UnderMouse) && !QApplication::activePopupWidget())
                dropStaleHover(w->window());
            break;
        default:
            break;
        }
        return false;
    }

private:
    // Looks once the events at hand are handled, when the layouts they ask for have moved things.
    void dropStaleHover(QWidget* window)
    {
        if (window)
            windows_ << window;
        else
            everyWindow_ = true;
        if (!pending_) {
            pending_ = true;
            QMetaObject::invokeMethod(this, &PopupLook::sweep, Qt::QueuedConnection);
        }
    }

    void sweep()
    {
        pending_ = false;
        QList<QWidget*> windows;
        if (std::exchange(everyWindow_, false))
            windows = QApplication::topLevelWidgets();
        for (const QPointer<QWidget>& w : std::exchange(windows_, {}))
            if (w)
                windows << w;
        if (QApplication::activePopupWidget())
            return;
        const QPoint pointer = QCursor::pos();
        for (QWidget* window : windows) {
            if (!window->isVisible())
                continue;
            QList<QWidget*> widgets = window->findChildren<QWidget*>();
            widgets.prepend(window);
            for (QWidget* w : widgets)
                if (w->testAttribute(Qt::WA_UnderMouse) && !w->rect().contains(w->mapFromGlobal(pointer))) {
                    w->setAttribute(Qt::WA_UnderMouse, false);
                    QEvent leave(QEvent::Leave);
                    QCoreApplication::sendEvent(w, &leave);
                    w->update();
                }
        }
    }

    QPalette lightTips_;
    bool darkTips_ = false;
    bool pending_ = false;
    bool everyWindow_ = false;
    QList<QPointer<QWidget>> windows_;
};

} // namespace

void installPopupLook(QApplication& app) { app.installEventFilter(new PopupLook(&app)); }

} // namespace tarnwick
