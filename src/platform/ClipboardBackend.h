#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

namespace tarnwick::platform {

struct ClipboardFormat {
    QString mimeType;
    QByteArray data;
};
using ClipboardContent = QList<ClipboardFormat>;

// The system clipboard (the X11 CLIPBOARD selection) as the series hand-off
// needs it: one publication of several formats at a time, a counter of
// changes, and whether the clipboard still holds our publication. Text goes
// out as "text/plain" (UTF-8) and, for receivers that ask by charset, also as
// "text/plain;charset=utf-8".
class ClipboardBackend {
public:
    virtual ~ClipboardBackend() = default;

    // Replaces the clipboard by exactly these formats, offered under exactly
    // these MIME types (a type given twice keeps its first data). Returns false
    // when the clipboard could not be taken; our previous publication is then
    // gone as well.
    virtual bool publish(const ClipboardContent& content) = 0;
    // Empties the clipboard if it holds our publication; another program's
    // content is left alone.
    virtual void clear() = 0;
    // Moves on every change of the clipboard, ours and other programs'.
    virtual std::uint64_t changeCount() const = 0;
    // True while the clipboard still holds our last publication.
    virtual bool ownsClipboard() const = 0;
    // One format of our last publication while we own the clipboard; empty otherwise.
    virtual QByteArray publishedData(const QString& mimeType) const = 0;
};

} // namespace tarnwick::platform
