#pragma once

#include "support/X11Client.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QVector>
#include <stdexcept>

namespace tarnwick::test {

// Runs the chat window of the hand-off tests (tarnwick_paste_receiver) in a
// process of its own and collects what it pasted. Reading its output needs
// the Qt event loop, which waitUntil keeps turning.
class PasteReceiver {
public:
    PasteReceiver()
    {
        process_.start(QStringLiteral(TARNWICK_PASTE_RECEIVER), {});
        if (!process_.waitForStarted(5000))
            throw std::runtime_error("the paste receiver did not start");
        if (!waitUntil([&] { return read(), window_ != 0; }, std::chrono::seconds(10)))
            throw std::runtime_error("the paste receiver showed no window");
    }

    ~PasteReceiver()
    {
        process_.kill();
        process_.waitForFinished(2000);
    }

    std::uint32_t window() const { return window_; }
    qint64 pid() const { return process_.processId(); }

    // Every paste so far, one object each: formats, text, width, height, pixel, urls.
    const QVector<QJsonObject>& pastes()
    {
        read();
        return pastes_;
    }

    bool waitForPastes(int count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return waitUntil([&] { return pastes().size() >= count; }, timeout);
    }

    // Pastes without a key press, for a server on which nothing can be typed.
    void pasteWithoutKeys()
    {
        process_.write("paste\n");
        process_.waitForBytesWritten(1000);
    }

private:
    void read()
    {
        buffer_ += process_.readAllStandardOutput();
        for (int end = buffer_.indexOf('\n'); end >= 0; end = buffer_.indexOf('\n')) {
            const QJsonObject line = QJsonDocument::fromJson(buffer_.left(end)).object();
            buffer_.remove(0, end + 1);
            if (line.contains(QStringLiteral("window")))
                window_ = static_cast<std::uint32_t>(line.value(QStringLiteral("window")).toInteger());
            else
                pastes_ << line;
        }
    }

    QProcess process_;
    QByteArray buffer_;
    std::uint32_t window_ = 0;
    QVector<QJsonObject> pastes_;
};

} // namespace tarnwick::test
