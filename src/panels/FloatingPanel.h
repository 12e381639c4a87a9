#pragma once

#include "platform/WorkAreaWatch.h"
#include "platform/X11Connection.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSettings>
#include <QSizeF>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class AppModel;
class FloatingPanelView;

// The always-on-top companion window that shows the series: frameless, on every desktop,
// never taking the keyboard focus from the window the user types in. The shell makes one at
// launch, shows it with present() and hides it with hide(); it is never rebuilt. Its origin
// is kept under "floatingPanelOrigin" in the preferences when a drag of its title ends.
// GUI thread.
class FloatingPanel : public QWidget {
    Q_OBJECT
public:
    // The usable rectangles of the screens, in global coordinates, in screen order.
    using FrameSource = std::function<QList<QRectF>()>;
    static constexpr int panelWidth = 180;
    static constexpr int panelHeight = 191;
    static constexpr int cornerRadius = 16;
    static constexpr double cornerInset = 14;

    FloatingPanel(AppModel& model, QSettings& preferences, FrameSource visibleFrames = screenFrames,
                  QWidget* parent = nullptr);

    // Places the panel (the first time from the saved origin, else 14 px in from the right
    // and bottom of the first screen), keeps it on a visible screen and shows it in front
    // without taking the focus.
    void present();
    // A normal window with a taskbar entry, or a tool window without one; a visible panel is
    // presented again.
    void setTaskbarEntry(bool shown);
    // Moves the panel back onto a visible screen if needed and saves its origin.
    void rememberPosition();
    // Hiding also drops a showing that waits for the window manager.
    void setVisible(bool visible) override;

    FloatingPanelView& view() const { return *view_; }

    // The available geometry of every screen, primary first.
    static QList<QRectF> screenFrames();

    // Where a window of `size` whose top-left corner should go to `origin` is kept on a visible
    // screen: for each frame (global coordinates, y down, in screen order) the origin is clamped
    // into it, and the candidate nearest to `origin` wins (the earlier frame on a tie). A window
    // wider or taller than a frame gets that frame's left or top edge. Without frames the origin
    // comes back unchanged. Pure; the recording and scrolling-capture windows place themselves
    // with it too.
    static QPointF constrainedOrigin(QPointF origin, QSizeF size, const QList<QRectF>& visibleFrames);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    // The stored origin when it is a list of exactly two finite numbers.
    std::optional<QPointF> savedOrigin() const;
    // Where it goes: the saved origin, or while the user has not put it anywhere, in from the
    // first frame's corner.
    void openAtHome();
    // A dock came or went: the panel placed before keeps off it, or back in its corner.
    void followWorkArea();
    void presentAfterWithdrawal();

    QSettings& preferences_;
    FrameSource visibleFrames_;
    bool positioned_ = false;
    bool onX11_ = false;
    platform::X11Connection connection_;
    // A panel hidden to change its kind is shown again once the window manager has let it go.
    bool showAfterWithdrawal_ = false;
    QTimer withdrawalWait_;
    FloatingPanelView* view_ = nullptr;
    std::unique_ptr<platform::WorkAreaWatch> workArea_;
};

} // namespace tarnwick
