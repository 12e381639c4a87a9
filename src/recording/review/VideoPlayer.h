#pragma once

#include "platform/SerialQueue.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick::review {

class VideoDecoder;
class VideoPlayerSound;

// The review's preview player over FFmpeg: exact seeks, playback that stops
// by itself at the forward end time, the picture on screen and the sound. While
// the sound plays, its clock drives the picture. Decoding runs on a queue of
// its own; everything else, signals included, on the GUI thread.
class VideoPlayer : public QObject {
    Q_OBJECT
public:
    explicit VideoPlayer(QObject* parent = nullptr);
    ~VideoPlayer() override;

    // Replaces the current item; nullopt removes it.
    void setSource(const std::optional<QString>& path);
    bool hasItem() const { return decoder_ != nullptr; }
    void setForwardEndTime(double seconds) { endTime_ = seconds; }
    // Shows the first picture at or after `seconds` and then calls `completion`
    // (a newer seek or a new item does not cancel it).
    void seek(double seconds, std::function<void()> completion);
    void play();
    void pause();
    double rate() const { return playing_ ? 1.0 : 0.0; }
    double currentTime() const;
    const QImage& picture() const { return picture_; }
    // Applied on the decoding queue to every picture before it is shown, with
    // the picture's time; pictures decoded after the call get the new filter.
    using Filter = std::function<QImage(const QImage&, double)>;
    void setFilter(Filter filter) { filter_ = std::move(filter); }

signals:
    void rateChanged();
    void pictureChanged();
    // The picture's or the sound's reader refused the item's file (see VideoFrameDecoder::refusal):
    // its sentence. Emitted while setSource or play runs.
    void unreadable(const QString& sentence);

private:
    void tick();
    void requestNext();
    void followSound();

    platform::SerialQueue queue_{"Tarnwick.video-player"};
    std::shared_ptr<VideoDecoder> decoder_;
    std::unique_ptr<VideoPlayerSound> sound_;
    QImage picture_;
    double position_ = 0;
    double endTime_ = 1e300;
    bool playing_ = false;
    double playFrom_ = 0;  // the time at `clock_`'s start
    double soundFrom_ = 0; // where the running sound started
    QElapsedTimer clock_;
    QTimer timer_;
    std::optional<std::pair<double, QImage>> next_;
    bool decoding_ = false;
    int generation_ = 0;
    Filter filter_;
};

} // namespace tarnwick::review
