#include "platform/PasteMonitor.h"

#include "platform/MainThread.h"
#include "platform/X11Internal.h"

#include <xcb/record.h>

#include <QCoreApplication>
#include <future>
#include <sys/socket.h>
#include <thread>

namespace tarnwick::platform {

namespace {

constexpr std::uint8_t recordFromServer = 0;
constexpr std::uint8_t recordStartOfData = 4;
constexpr std::uint8_t recordEndOfData = 5;

constexpr auto startTimeout = std::chrono::seconds(3);

QString recordMissing()
{
    return QStringLiteral("X-сервер не поддерживает расширение RECORD: Ctrl+V в других программах не отслеживается.");
}

QString recordRefused()
{
    return QStringLiteral("X-сервер не разрешил запись нажатий клавиш (RECORD): Ctrl+V в других программах не отслеживается.");
}

} // namespace

// One recording: the control connection that owns the RECORD context, the
// data connection the server streams the key events on, and the thread that
// reads them.
struct PasteMonitor::Session {
    PasteMonitor* owner = nullptr;
    xcb_connection_t* control = nullptr;
    xcb_connection_t* data = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_record_context_t context = 0;
    std::thread thread;
    std::atomic<bool> alive{false};

    // Touched by the reading thread only once it runs.
    x11::Keymap keymap;
    x11::KeySet down;

    ~Session()
    {
        if (thread.joinable()) {
            // Closing the socket wakes the blocked reader; the server drops
            // the recording with the connection.
            ::shutdown(xcb_get_file_descriptor(data), SHUT_RDWR);
            thread.join();
        }
        if (data)
            xcb_disconnect(data);
        if (control) {
            if (context) {
                xcb_record_free_context(control, context);
                xcb_flush(control);
            }
            xcb_disconnect(control);
        }
    }

    void run(std::promise<bool> started)
    {
        bool confirmed = false;
        xcb_record_enable_context_cookie_t cookie = xcb_record_enable_context(data, context);
        xcb_flush(data);
        for (;;) {
            xcb_generic_error_t* error = nullptr;
            x11::Reply<xcb_record_enable_context_reply_t> reply(
                xcb_record_enable_context_reply(data, cookie, &error));
            std::free(error);
            if (!reply)
                break;
            if (reply->category == recordStartOfData && !confirmed) {
                confirmed = true;
                alive = true;
                started.set_value(true);
            } else if (reply->category == recordFromServer) {
                refreshKeymapOnMappingChange();
                const std::uint8_t* bytes = xcb_record_enable_context_data(reply.get());
                const int length = xcb_record_enable_context_data_length(reply.get());
                for (int at = 0; at + 32 <= length; at += 32)
                    handleEvent(bytes[at] & 0x7f, bytes[at + 1]);
            } else if (reply->category == recordEndOfData) {
                break;
            }
        }
        alive = false;
        if (!confirmed)
            started.set_value(false);
    }

    void refreshKeymapOnMappingChange()
    {
        bool changed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(control)) {
            if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY)
                changed = true;
            std::free(event);
        }
        if (changed) {
            x11::Keymap fresh = x11::Keymap::load(control);
            if (fresh.isValid())
                keymap = fresh;
        }
    }

    void handleEvent(std::uint8_t type, std::uint8_t keycode)
    {
        if (type == XCB_KEY_RELEASE) {
            down.reset(keycode);
            return;
        }
        if (type != XCB_KEY_PRESS)
            return;
        // A press of a key that is down already is the keyboard's auto-repeat.
        const bool repeat = down.test(keycode);
        down.set(keycode);
        if (repeat || !keymap.pasteKeys().test(keycode))
            return;
        x11::KeySet others = down;
        others.reset(keycode);
        if (keymap.heldModifiers(others) != x11::ControlKey)
            return;
        if (!owner->consumeExpectedPaste() && !inIgnoredProcess()) {
            PasteMonitor* monitor = owner;
            deliver(monitor, [monitor] { monitor->report(); });
        }
        ++owner->judged_; // after the report is on its way
    }

    bool inIgnoredProcess()
    {
        const std::int64_t ignored = owner->ignoredPid_;
        if (ignored == 0)
            return false;
        auto active = x11::activeWindow(control, root);
        return active && x11::windowPid(control, *active) == ignored;
    }
};

PasteMonitor::PasteMonitor(QString display, QObject* parent)
    : QObject(parent), display_(std::move(display)), ignoredPid_(QCoreApplication::applicationPid())
{
}

PasteMonitor::~PasteMonitor()
{
    stop();
}

void PasteMonitor::setOnPaste(std::function<void()> onPaste)
{
    onPaste_ = std::move(onPaste);
}

void PasteMonitor::setIgnoredProcess(std::optional<std::int64_t> pid)
{
    ignoredPid_ = pid.value_or(0);
}

bool PasteMonitor::isMonitoring() const
{
    return session_ && session_->alive;
}

void PasteMonitor::stop()
{
    session_.reset();
}

bool PasteMonitor::start()
{
    if (isMonitoring())
        return true;
    session_.reset();
    error_.clear();

    auto session = std::make_unique<Session>();
    session->owner = this;
    int screen = 0;
    session->control = x11::connect(display_, &screen, &error_);
    if (!session->control)
        return false;
    xcb_connection_t* c = session->control;
    session->root = x11::rootOf(c, screen);
    if (!x11::hasExtension(c, &xcb_record_id)) {
        error_ = recordMissing();
        return false;
    }
    x11::Reply<xcb_record_query_version_reply_t> version(xcb_record_query_version_reply(
        c, xcb_record_query_version(c, XCB_RECORD_MAJOR_VERSION, XCB_RECORD_MINOR_VERSION), nullptr));
    if (!version) {
        error_ = recordMissing();
        return false;
    }

    session->context = xcb_generate_id(c);
    xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    xcb_record_range_t range{};
    range.device_events.first = XCB_KEY_PRESS;
    range.device_events.last = XCB_KEY_RELEASE;
    if (xcb_generic_error_t* error = xcb_request_check(
            c, xcb_record_create_context_checked(c, session->context, 0, 1, 1, &clients, &range))) {
        std::free(error);
        session->context = 0;
        error_ = recordRefused();
        return false;
    }

    session->keymap = x11::Keymap::load(c);
    if (!session->keymap.isValid()) {
        error_ = recordRefused();
        return false;
    }
    // Keys held while the recording starts (Control, say) count as held.
    session->down = x11::keysDown(c);

    session->data = x11::connect(display_, nullptr, &error_);
    if (!session->data)
        return false;

    std::promise<bool> started;
    std::future<bool> confirmed = started.get_future();
    Session* raw = session.get();
    session->thread = std::thread([raw, promise = std::move(started)]() mutable { raw->run(std::move(promise)); });
    if (confirmed.wait_for(startTimeout) != std::future_status::ready || !confirmed.get()) {
        error_ = recordRefused();
        return false; // the session's destructor stops the thread
    }
    session_ = std::move(session);
    return true;
}

void PasteMonitor::expectSyntheticPaste()
{
    std::lock_guard lock(expectedMutex_);
    expected_.push_back(std::chrono::steady_clock::now() + syntheticPasteWindow);
}

bool PasteMonitor::consumeExpectedPaste()
{
    std::lock_guard lock(expectedMutex_);
    const auto now = std::chrono::steady_clock::now();
    while (!expected_.empty() && expected_.front() < now)
        expected_.pop_front();
    if (expected_.empty())
        return false;
    expected_.pop_front();
    return true;
}

void PasteMonitor::report()
{
    if (onPaste_)
        onPaste_();
}

} // namespace tarnwick::platform
