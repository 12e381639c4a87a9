#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

class QProcess;

struct xcb_connection_t;

namespace tarnwick::test {

// An xcb reply, freed with the reply.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* p)
{
    return Reply<T>(p, &std::free);
}

// The test's own X client: makes windows, plays the window manager's part for
// _NET_ACTIVE_WINDOW, types through XTEST and switches keyboard groups, on a
// connection separate from the code under test.
class X11Client {
public:
    // An empty name means $DISPLAY. Throws std::runtime_error without a server.
    explicit X11Client(const QString& display = {});
    ~X11Client();
    X11Client(const X11Client&) = delete;
    X11Client& operator=(const X11Client&) = delete;

    xcb_connection_t* connection() const { return c_; }
    std::uint32_t root() const { return root_; }

    // A mapped top-level window with _NET_WM_PID and WM_CLASS when given.
    std::uint32_t createWindow(std::optional<std::int64_t> pid = std::nullopt, const QByteArray& wmInstance = {},
                               const QByteArray& wmClass = {});
    void destroyWindow(std::uint32_t window);
    // Sets _NET_ACTIVE_WINDOW on the root, as a window manager would; 0 writes None.
    void setActiveWindow(std::uint32_t window);
    void removeActiveWindow();
    // The window that owns the selection named `selection` (e.g. "CLIPBOARD"), 0 for none.
    std::uint32_t selectionOwner(const char* selection);
    // Asks the window manager to close the window (_NET_CLOSE_WINDOW), as its close button does.
    void closeWindow(std::uint32_t window);
    // Asks the window manager to move the window's frame to root `x`, `y` (_NET_MOVERESIZE_WINDOW),
    // as a pager or the window manager's own keys to another monitor do.
    void moveWindow(std::uint32_t window, int x, int y);
    // Tells the window it is at `rootPixels` (a synthetic ConfigureNotify), as a window manager
    // tells a client where its frame put it.
    void tellConfigured(std::uint32_t window, const QRect& rootPixels);
    // Gives the window the keyboard focus and asks for its key events.
    void focus(std::uint32_t window);
    // The window that has the server's keyboard focus (where typed keys go), 0 for none.
    std::uint32_t inputFocus();

    // The key code that types `keysym` in the first group (0 when none).
    std::uint8_t keycodeOf(std::uint32_t keysym);
    void press(std::uint8_t keycode);
    void release(std::uint8_t keycode);
    // Presses the keys in order and releases them in reverse order.
    void chord(const std::vector<std::uint8_t>& keycodes);
    void sync();

    // Draws 32-bit pixels (0xAARRGGBB rows, `width` each) into a window of
    // depth 24; `throughChildren` paints over the windows above it too.
    void putPixels(std::uint32_t window, int x, int y, int width, int height, const std::uint32_t* pixels,
                   bool throughChildren = false);
    // A window property of 32-bit items, empty when absent.
    std::vector<std::uint32_t> cardinals(std::uint32_t window, const char* property);
    void setCardinals(std::uint32_t window, const char* property, const std::vector<std::uint32_t>& values);
    // The names of the atoms a window property lists (e.g. _NET_WM_ALLOWED_ACTIONS), empty when absent.
    QStringList atomNames(std::uint32_t window, const char* property);
    // Where the server shows `window`, in root pixels, without any frame around it. Empty without it.
    QRect rootGeometry(std::uint32_t window);
    // The extents of a window's bounding shape in its own pixels: the whole window when unshaped,
    // only the part that shows and takes the pointer when shaped. Empty without the window.
    QRect shapeExtents(std::uint32_t window);
    // True while another client holds the keyboard grabbed.
    bool keyboardGrabbedElsewhere();
    // The viewable top-level windows no window manager manages (override-redirect): a picker's
    // veils, menus, tool tips.
    QList<std::uint32_t> viewableUnmanagedWindows();
    // The top-level window under the pointer, where a wheel click goes; 0 over the root.
    std::uint32_t topLevelUnderPointer();
    // XTEST pointer: moves to root coordinates, presses or releases a button.
    void movePointer(int x, int y);
    void button(std::uint8_t button, bool press);
    // A left-button drag through the middle point, and a click.
    void drag(int fromX, int fromY, int toX, int toY);
    void click(int x, int y, std::uint8_t button = 1);
    // Noise in 0xFFRRGGBB drawn at x, y of `window`; returns the pixels drawn.
    std::vector<std::uint32_t> paintNoise(std::uint32_t window, int x, int y, int width, int height,
                                          std::uint32_t seed, bool throughChildren = false);

    // XKB keyboard group: lock one, read the locked one.
    void lockGroup(int group);
    int lockedGroup();

    // Plays the window manager's part for activation: takes substructure
    // redirection on the root, so _NET_ACTIVE_WINDOW requests come here.
    void becomeWindowManager();
    struct ActivationRequest {
        std::uint32_t window;
        std::uint32_t source; // 1 application, 2 direct user action
    };
    // The next _NET_ACTIVE_WINDOW request within `wait`; map requests that
    // arrive meanwhile are granted.
    std::optional<ActivationRequest> activationRequest(std::chrono::milliseconds wait);

    // The window manager's ping to `window`, true once its client has answered: by then that
    // client has handled every event that reached it before. Other events read meanwhile are dropped.
    bool ping(std::uint32_t window, std::chrono::milliseconds wait = std::chrono::seconds(30));

    struct KeyEvent {
        bool press;
        std::uint8_t keycode;
        std::uint16_t state;
    };
    // The key events the windows of this client got within `wait`.
    std::vector<KeyEvent> keyEvents(std::chrono::milliseconds wait);
    // The key events they got since the last look; does not wait.
    std::vector<KeyEvent> takeKeyEvents();

private:
    // A client message to the root for the window manager about `window`.
    void askWindowManager(std::uint32_t window, const char* request, const std::vector<std::uint32_t>& data);
    std::uint32_t atom(const char* name);

    xcb_connection_t* c_ = nullptr;
    std::uint32_t root_ = 0;
};

// Runs a program to its end while the Qt event loop keeps running (the
// clipboard owner may be this very process). Returns its exit code, -1 on
// time-out or failure to start.
int runProcess(const QString& program, const QStringList& args, QByteArray* output = nullptr,
               const QByteArray& input = {}, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Types `text` through xdotool, `delayMs` between keys, with the server's key repeat off: on a
// busy machine xdotool can be held between a press and its release long enough for the server
// to repeat the key. Returns xdotool's exit code, -1 on failure.
int typeText(const QString& text, int delayMs);

// What another client reads from the CLIPBOARD selection as `target`, through
// xclip (the way a chat application reads it); "<xclip failed>" on failure.
QByteArray xclipRead(const QString& target);
// Makes another program (xclip) the owner of CLIPBOARD with `text`; true once
// the server names it. The Qt event loop may not have handled the loss yet.
bool xclipWrite(const QByteArray& text);
// The targets the clipboard offers, less the selection protocol's own.
QSet<QString> xclipTargets();

// Spins the Qt event loop until `done` holds or `timeout` passes; returns `done()`.
template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(30));

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Starts openbox in `openbox` and waits until it manages windows: a window mapped while it is
// still starting may never be taken in (no WM_STATE, unmapped for good), which a loaded machine
// makes likely. False if it was not ready within `timeout`.
bool startOpenbox(QProcess& openbox, std::chrono::milliseconds timeout = std::chrono::seconds(30));

template <typename Predicate>
bool waitUntil(Predicate done, std::chrono::milliseconds timeout)
{
    return spinUntil(std::function<bool()>(done), timeout);
}

} // namespace tarnwick::test
