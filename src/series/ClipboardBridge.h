#pragma once

#include "series/Screenshot.h"
#include "series/TransferPacket.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace tarnwick {

namespace platform {
class ClipboardBackend;
}

// The owner of Tarnwick's clipboard traffic: prepares series into folders of PNG
// and comment files, publishes them in a transfer mode, remembers its last write
// to tell whether the clipboard still holds it, and makes the single-item copies.
// GUI thread only.
class ClipboardBridge {
public:
    // Renders a shot into the bitmap that goes out (label for the markers, markers on or off).
    using Renderer = std::function<QImage(const Screenshot&, const QString& label, bool showMarkers)>;

    // `root` is a private per-user folder on disk; prepared series and unmarked copies
    // live in its "Tarnwick-Clipboard" and stay there after use, since a chat may read
    // pasted files long after the paste. Those older than 7 days go at creation.
    // The renderer comes from the owner (output rendering in the program): the
    // series library sits below the renderer.
    ClipboardBridge(platform::ClipboardBackend& board, QString root, Renderer renderer);

    static QString tokenType() { return QStringLiteral("com.tarnwick.series-token"); }
    static constexpr qint64 expirySeconds = 604800;

    const std::optional<TransferPacket>& packet() const { return packet_; }
    std::optional<std::uint64_t> changeCount() const { return changeCount_; }
    TransferMode mode() const { return mode_; }
    QString clipboardFolder() const;

    // Renders every shot, writes the folder, publishes it and keeps it as the packet.
    // Any failure leaves no folder and the bridge as it was.
    void prepare(const QVector<Screenshot>& shots, TransferMode mode);
    // Writes a packet onto the clipboard in a mode; the clipboard is untouched on failure.
    void publish(const TransferPacket& packet, TransferMode mode);
    // The clipboard still holds exactly our last series publication.
    bool isCurrent() const;

    // Single-item copies; each makes the series no longer current.
    bool copyText(const QString& text, bool allowWhitespace);
    QString copyUnmarkedImage(const Screenshot& shot);
    // The shot rendered without markers, as PNG bytes.
    QByteArray unmarkedPng(const Screenshot& shot) const;

    // Removes UUID-named entries of the clipboard folder modified more than 7 days before
    // `now`; a link's own time counts and the link goes, never what it points at. Nothing
    // happens when the folder or a component above it is not privately ours.
    void cleanExpiredFiles(const QDateTime& now = QDateTime::currentDateTimeUtc());

    // The clipboard formats of a packet in a mode, exactly as published.
    static QList<std::pair<QString, QByteArray>> formats(const TransferPacket& packet, TransferMode mode);

private:
    struct Encoded {
        Screenshot shot; // shares the picture; compared, never drawn
        QString label;
        QByteArray png;
    };
    QString newFolder();
    QVector<QByteArray> encodeShots(const QVector<Screenshot>& shots);

    platform::ClipboardBackend& board_;
    QString root_;
    Renderer renderer_;
    std::optional<TransferPacket> packet_;
    std::optional<std::uint64_t> changeCount_;
    TransferMode mode_ = TransferMode::combined;
    // The PNG of each shot's last preparation, reused while its picture is unchanged.
    QHash<QUuid, Encoded> encoded_;
};

} // namespace tarnwick
