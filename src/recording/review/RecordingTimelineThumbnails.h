#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace tarnwick {

// The twelve still frames behind the review timeline. GUI thread; owned by the timeline row.
// Frames are decoded on a few worker threads and published one by one: `changed()` follows every
// change of `frames()`, together with a new `revision()`. Frames already decoded for the same
// file, time and size come from a cache and are never decoded again.
class RecordingTimelineThumbnails : public QObject {
    Q_OBJECT
public:
    static constexpr int count = 12;
    static constexpr QSize maximumSize{192, 120};
    // Decoders running at once, each on a worker thread of its own.
    static constexpr int decoders = 4;

    explicit RecordingTimelineThumbnails(QObject* parent = nullptr);
    ~RecordingTimelineThumbnails() override;

    // Starts the frames of `source` (a file path) for a video of `duration` seconds,
    // replacing any running load; unchanged arguments do nothing. No source or a duration
    // that is not finite and positive leaves the frames empty.
    void load(const std::optional<QString>& source, double duration);
    // Stops the running load; frames become empty.
    void cancel();

    // Empty, or `count` entries during a load; a null image is a frame not (yet) there.
    const QList<QImage>& frames() const { return frames_; }
    int revision() const { return revision_; }
    // Frames decoded by FFmpeg since creation (cache hits excluded).
    int decodedCount() const { return decoded_; }

    // Requested times: evenly spread over the video, none later than 1/30 s before its end.
    static std::vector<double> requestTimes(double duration);
    // The index of the time nearest to `time`; the lower one on a tie.
    static int frameIndex(const std::vector<double>& times, double time);

signals:
    void changed();
    // The checked open refused the file of the running load: its sentence, once a load.
    void unreadable(const QString& sentence);

private:
    void deliver(quint64 request, const QString& source, double time, const QImage& image);
    void refused(quint64 request, const QString& sentence);
    QString cacheKey(const QString& source, double time) const;

    QList<QImage> frames_;
    int revision_ = 0;
    quint64 request_ = 0;
    quint64 nextRequest_ = 1;
    quint64 refusedRequest_ = 0;
    std::optional<QString> source_;
    double duration_ = 0;
    std::vector<double> times_;
    std::shared_ptr<std::atomic_bool> stop_;
    QHash<QString, QImage> cache_;
    int decoded_ = 0;
    QThreadPool worker_;
};

} // namespace tarnwick
