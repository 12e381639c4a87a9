#pragma once

#include "platform/ClipboardBackend.h"

#include <QObject>

namespace tarnwick::platform {

// The clipboard backend over QClipboard. On X11 it offers each MIME type
// verbatim: no derived targets beyond Qt's text aliases of "text/plain"
// (UTF8_STRING, STRING, TEXT) and the selection protocol's own (TARGETS,
// MULTIPLE, TIMESTAMP, SAVE_TARGETS). Main thread only.
class QtClipboardBackend : public QObject, public ClipboardBackend {
public:
    explicit QtClipboardBackend(QObject* parent = nullptr);

    bool publish(const ClipboardContent& content) override;
    void clear() override;
    std::uint64_t changeCount() const override { return changes_; }
    bool ownsClipboard() const override;
    QByteArray publishedData(const QString& mimeType) const override;

private:
    void clipboardChanged();
    void forget();

    std::uint64_t changes_ = 0;
    bool writing_ = false;
    bool owned_ = false;
    ClipboardContent published_;
};

} // namespace tarnwick::platform
