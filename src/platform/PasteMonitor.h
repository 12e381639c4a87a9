#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tarnwick::platform {

// Watches the keyboard of the whole X display for the user's Ctrl+V through the
// RECORD extension, on an X connection and thread of its own, and reports each
// one on the GUI thread.
//
// A Ctrl+V is a press of the key that types "v" in the first keyboard group
// (so it is the same key with the Russian layout active) while Control is held
// and Shift, Alt and Super are not; a key held down reports only its first
// press. Presses go unreported while a window of the ignored process (this
// one, unless told otherwise) is active, and while our own synthetic paste is
// expected. Lives on the GUI thread; a report still queued when the monitor
// is destroyed is dropped.
class PasteMonitor : public QObject {
public:
    // How long an announced synthetic paste is waited for.
    static constexpr std::chrono::milliseconds syntheticPasteWindow{500};

    // An empty display name means $DISPLAY at the time of start().
    explicit PasteMonitor(QString display = {}, QObject* parent = nullptr);
    ~PasteMonitor() override;

    // Called on the GUI thread for each Ctrl+V of the user.
    void setOnPaste(std::function<void()> onPaste);

    // Starts recording unless it runs already, also after the connection
    // broke; returns whether it runs. Waits for the server to confirm.
    bool start();
    void stop();
    // True while the recording runs; false once its connection broke.
    bool isMonitoring() const;
    // Why the last start() failed, as a sentence for the user; empty otherwise.
    const QString& errorText() const { return error_; }

    // Our own paste is about to press Ctrl+V: the next Ctrl+V seen within
    // syntheticPasteWindow is ours and goes unreported. Thread-safe.
    void expectSyntheticPaste();

    // Ctrl+V in the windows of this process are not reported; nullopt reports all.
    void setIgnoredProcess(std::optional<std::int64_t> pid);

    // How many Ctrl+V the recording has judged so far, reported or not (a report is
    // posted to the GUI thread first): a caller can wait until a press was judged
    // before it moves the active window. Thread-safe.
    int pastesJudged() const { return judged_; }

private:
    struct Session;
    friend struct Session;

    bool consumeExpectedPaste();
    void report();

    QString display_;
    QString error_;
    std::function<void()> onPaste_;
    std::unique_ptr<Session> session_;
    std::atomic<std::int64_t> ignoredPid_; // 0: none
    std::atomic<int> judged_{0};

    std::mutex expectedMutex_;
    std::deque<std::chrono::steady_clock::time_point> expected_;
};

} // namespace tarnwick::platform
