#pragma once

#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace tarnwick {

// The editor's QR read and the qr tool's notice. One read at a time, known by
// its id, so the late result of a read abandoned meanwhile changes nothing.
// Owned by EditorState, which decides when a read may start and hears of every
// change through `touch`. GUI thread.
class EditorQRReading {
public:
    explicit EditorQRReading(std::function<void()> touch) : touch_(std::move(touch)) {}

    // The running read, nothing between reads.
    const std::optional<QUuid>& id() const { return id_; }
    const std::optional<QString>& message() const { return message_; }
    // Starts a read, with "reading" as the notice; its id.
    QUuid begin();
    // False, changing nothing, for a read that was abandoned meanwhile.
    bool finish(const QUuid& id, const std::optional<QString>& message);
    // Drops a running read (its late result is then ignored) and the notice.
    void abandon();
    // A notice shown without a read, e.g. while the shot is still processed.
    void setMessage(const std::optional<QString>& message);

private:
    std::function<void()> touch_;
    std::optional<QUuid> id_;
    std::optional<QString> message_;
};

} // namespace tarnwick
