#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <QTimer>
#include <functional>
#include <optional>

class QWidget;

namespace tarnwick::platform {

struct ShownWindow;

// The one placement of the program's top-level windows. Each window has one, its child: made on
// first ask for the windows the program opens, and when they first show for dialogs and questions
// (placeEveryDialog). It opens the window by its opening on the usable area of its monitor (the
// work area less the docks' struts, usableArea) with the frame the window manager publishes
// (_NET_FRAME_EXTENTS; a title bar's guess before it is framed), and fits it again whenever anyone
// moves or resizes it, it changes monitors, the window manager frames it or the work area changes:
// - its frame lies inside the usable area, so its title bar and every button are in reach;
// - a window larger than its room shrinks to it, below its least size if need be (its content
//   then scrolls, RoomScrollArea);
// - it keeps its size in points on a monitor of another scale, whether Qt or the window manager
//   moved it (Qt 6.4 keeps a window's pixels when the window manager moves it, and the size
//   limits the window manager holds it to);
// - while a capture runs it keeps clear of the captured area: beside it, or held back until the
//   capture ends.
// The window's place and size are read from the server in root pixels and taken in the scale of
// the monitor that holds the middle of the window, as Qt does. A fit waits while a pointer button
// is held: the window manager's drag or resize is the user's until it ends. GUI thread.
class WindowPlacement : public QObject {
    Q_OBJECT
public:
    // Where a window opens.
    enum class Opening {
        centred,      // in the middle of the usable area of its screen
        overParent,   // over the middle of its parent window
        besideParent, // the top right corner `point` (right, down) inside its parent's frame
        corner,       // `point.x()` in from the right and bottom edges of the first usable area
        at,           // its frame's corner at `point`, moved onto the nearest usable area
    };
    struct Place {
        Opening opening = Opening::centred;
        QPoint point;
        QPointer<QScreen> screen; // `centred` on this screen rather than the window's own

        static Place centredOn(QScreen* screen) { return {Opening::centred, {}, screen}; }
        static Place overParent() { return {Opening::overParent, {}, {}}; }
        static Place besideParent(QPoint inset) { return {Opening::besideParent, inset, {}}; }
        static Place inCorner(int inset) { return {Opening::corner, {inset, 0}, {}}; }
        static Place at(QPoint corner) { return {Opening::at, corner, {}}; }
    };

    // The placement of `window`, made on the first ask.
    static WindowPlacement& of(QWidget& window);
    static WindowPlacement* find(const QWidget& window);
    ~WindowPlacement() override;

    // How the window opens from now on.
    void setPlace(Place place);
    // Places the window by its opening now; a hidden one is placed for its next showing.
    void open();
    // The size the window's own area should have (points): given now, and given back on a
    // monitor with room for it after a smaller one cut it down.
    void ask(QSize points);
    // The least size of the window's own area (points), lowered where the room is smaller.
    void setLeast(QSize points);
    // The controls of a capture belong in its area's neighbourhood and are not moved off it.
    void setKeptClear(bool kept) { keptClear_ = kept; }
    // Usable areas other than the monitors' (tests), in the first screen's scale.
    void setAreas(std::function<QList<QRect>()> areas) { areas_ = std::move(areas); }
    // Shows the window in front (with the keyboard when `activate`), unless a running capture
    // leaves it no room beside its area: then it shows once the capture has ended.
    void present(bool activate = true);
    // Fits the window now, or once the events at hand are handled.
    void refit();
    void refitLater() { schedule(); }

    // The usable area of the monitor the window is on (Qt's global coordinates), and the room it
    // leaves the window's own area there.
    QRect usableArea() const;
    QSize room() const;
    // Called before a fit when the room may have changed (another monitor, frame or work area):
    // the window measures again what depends on it.
    std::function<void()> onRoomChanged;

    // The area a capture takes (root pixels) while it runs, nothing once it has ended: every
    // placed window keeps clear of it.
    static void keepClearOf(std::optional<QRect> rootPixels);
    // Gives every dialog and question of the program its placement when it first shows.
    static void placeEveryDialog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowPlacement(QWidget& window);
    class DialogPlacer;

    struct Now;
    void schedule();
    void shown();
    // Places the window by its opening with Qt's own means, its frame a guess if not known.
    void openUnmapped();
    void fitShown(const ShownWindow& server);
    void fitWithoutServer();
    // How it opens now: its place, or where its code put it before it showed.
    Place opening() const;
    // The usable area and screen it opens on.
    struct Area {
        QRect rect;
        const QScreen* screen;
    };
    Area openingArea() const;
    QRect openingFrame(const QRect& area, QSize outer) const;
    // The usable areas and their screens, in the order of the screens.
    QList<Area> areas() const;
    QRect areaOf(const QScreen* screen) const;
    // The area of `all` that `frame` needs to move least to get into.
    static const Area* nearest(const QList<Area>& all, const QRect& frame);
    // The frame's widths in points: the window manager's, else Qt's, else room for a title bar.
    QMargins guessedFrame(const QScreen* screen) const;
    // The window's least size and its scroll area's cap lowered to `room` where it is smaller.
    void applyRoom(QSize room);
    // `outer` (points on `screen`) kept clear of a running capture's area; nothing when it cannot be.
    std::optional<QRect> clearOfCapture(const QRect& outer, const QRect& area, const QScreen* screen) const;
    // `outer` (points on `screen`) of a framed window opening beside the program's panels that stay
    // on top there (the floating panel) where `area` has room for that; else where it is.
    QRect clearOfPanels(const QRect& outer, const QRect& area, const QScreen* screen) const;
    void place(const QRect& outer, const QMargins& frame, QSize size, const QScreen* screen, const Now& now);
    void holdBack();

    QWidget& window_;
    Place place_;
    bool opened_ = false;
    bool keptClear_ = true;
    bool heldBack_ = false;
    bool activateWhenShown_ = true;
    bool pending_ = false;
    bool asking_ = false; // the next fit gives the window `wish_`
    bool fitting_ = false; // the window is being resized by an opening
    bool qtMoved_ = false; // Qt has taken the window to another screen since the last fit
    std::function<QList<QRect>()> areas_;
    std::optional<QSize> wish_;     // asked by the program, or by the last fit on another monitor
    std::optional<QSize> least_;    // the least size the window declared
    std::optional<QSize> unframed_; // the size it opened with while its frame was a guess
    QSize points_;                  // its size in points as the user or the program gave it
    QSize placed_;                  // the size the last fit gave it
    QPointer<const QScreen> screen_; // the screen it was last seen on
    std::optional<QMargins> measuredExtents_;
    QRect measuredArea_;
    struct Asked {
        QSize pixels, points;
    };
    std::optional<Asked> asked_; // the size last asked of the window manager, until the server shows it
    QTimer pointerWait_;
};

} // namespace tarnwick::platform
