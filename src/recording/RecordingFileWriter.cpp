#include "recording/RecordingFileWriter.h"

#include "recording/RecordingAudioMixer.h"
#include "recording/RecordingEncoder.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <sys/statvfs.h>
#include <utility>

namespace tarnwick {

namespace {

std::int64_t ticks(double seconds) { return std::llround(seconds * RecordingEncoder::timescale); }

// Whether the file's folder has room for a second copy of it, with a margin.
bool hasRoomForCopyOf(const QString& path)
{
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).path()).constData(), &disk) != 0)
        return false;
    const auto free = static_cast<qint64>(disk.f_bavail) * static_cast<qint64>(disk.f_frsize);
    return free >= QFileInfo(path).size() + 4 * 1024 * 1024;
}

} // namespace

RecordingFileWriter::RecordingFileWriter(QString url, QSize size, const RecordingOptions& options, QSize source)
    : url_(std::move(url)), size_(size), source_(source.isEmpty() ? size : source)
{
    std::set<RecordingAudioSource> sources;
    if (options.systemAudio)
        sources.insert(RecordingAudioSource::system);
    if (options.microphone)
        sources.insert(RecordingAudioSource::microphone);
    try {
        encoder_ = std::make_unique<RecordingEncoder>(url_, size_, options, !sources.empty(), source_);
    } catch (...) {
        QFile::remove(url_);
        throw;
    }
    if (!sources.empty())
        audioMixer_ = std::make_unique<RecordingAudioMixer>(sources);
}

RecordingFileWriter::~RecordingFileWriter()
{
    finishQueue_.sync([] {});
    // Never finished nor cancelled: stop encoding and leave the file as a crash would.
    if (encoder_)
        encoder_->abort();
}

std::optional<TarnwickError> RecordingFileWriter::failure() const
{
    {
        std::lock_guard lock(failureMutex_);
        if (failure_)
            return failure_;
    }
    // The encoding thread's own failure (a write to a full disk), before an append or a drain took it in.
    if (auto failed = encoder_->failure())
        return failed->error;
    return std::nullopt;
}

bool RecordingFileWriter::readyForFrame() const { return encoder_->videoReady(); }

void RecordingFileWriter::setFailure(const TarnwickError& error, bool fileError)
{
    std::lock_guard lock(failureMutex_);
    if (failure_)
        return;
    failure_ = error;
    fileFailure_ = fileError;
    failureTime_ = hostTimeNow();
}

void RecordingFileWriter::syncEncoderFailure()
{
    if (auto failed = encoder_->failure())
        setFailure(failed->error, failed->fileError);
}

bool RecordingFileWriter::append(const QImage& frame, double time) { return appendFrame(frame, time, false); }

bool RecordingFileWriter::appendFrame(const QImage& frame, double time, bool waitForRoom)
{
    syncEncoderFailure();
    if (finishing_ || failure())
        return false;
    if (frame.size() != source_ || frame.depth() != 32) {
        refuseFrameSize();
        return false;
    }
    if (!firstTime_) {
        firstTime_ = time;
        if (audioMixer_) {
            try {
                audioMixer_->setOrigin(time);
            } catch (const TarnwickError& error) {
                setFailure(error, false);
                return false;
            }
        }
    }
    const double pts = std::max(0.0, time - *firstTime_);
    if (lastTime_ >= 0 && ticks(lastTime_) >= ticks(pts))
        return false;
    if (!encoder_->pushVideo(frame, ticks(pts), waitForRoom))
        return false;
    lastTime_ = pts;
    lastBuffer_ = frame;
    return true;
}

void RecordingFileWriter::repeatLastFrame(double time)
{
    if (!lastBuffer_.isNull() && firstTime_ && time - *firstTime_ - lastTime_ >= 0.1)
        appendFrame(lastBuffer_, time, false);
}

void RecordingFileWriter::refuseFrameSize()
{
    setFailure(TarnwickError::message(
                   QStringLiteral("Размер видеокадра изменился. Остановите запись и выберите экран заново.")),
               false);
}

void RecordingFileWriter::appendAudio(const RecordingAudioBuffer& buffer, RecordingAudioSource source, double time)
{
    if (finishing_ || failure() || !audioMixer_)
        return;
    try {
        audioMixer_->ingest(buffer, source, time);
    } catch (const TarnwickError& error) {
        setFailure(error, false);
    }
}

void RecordingFileWriter::drainAudio(double time)
{
    syncEncoderFailure();
    if (finishing_ || failure() || !audioMixer_)
        return;
    try {
        audioMixer_->drain(
            time - 0.12, false, [this] { return encoder_->audioReady(); },
            [this](RecordingPCMBuffer buffer) { return encoder_->pushAudio(std::move(buffer)); });
    } catch (const TarnwickError& error) {
        syncEncoderFailure();
        setFailure(error, false);
    }
}

void RecordingFileWriter::finish(double endTime, std::function<void(RecordingResult)> completion)
{
    if (finishing_)
        return;
    completion_ = std::move(completion);
    syncEncoderFailure();
    if (!lastBuffer_.isNull() && firstTime_ && !failure())
        appendFrame(lastBuffer_, std::max(endTime, *firstTime_ + lastTime_ + 1.0 / 30), true);
    finishing_ = true;
    const QImage last = std::exchange(lastBuffer_, QImage());
    syncEncoderFailure();
    const std::optional<TarnwickError> failed = failure();
    if (!firstTime_ || lastTime_ < 0) {
        abandon(failed.value_or(TarnwickError::message(
            QStringLiteral("Запись не получила ни одного кадра. Проверьте доступ к экрану."))));
        return;
    }
    if (failed) {
        if (fileFailure_) {
            finishQueue_.async([this, failed] { complete(lastTime_ + 1.0 / 30, failed); });
            return;
        }
        // Keep what was recorded up to the failure: the last good frame stands
        // until then (the screen showed nothing new).
        const double end =
            std::max(lastTime_ + 1.0 / 30, std::min(failureTime_ - *firstTime_, endTime - *firstTime_));
        if (ticks(end - 1.0 / 30) > ticks(lastTime_))
            encoder_->pushVideo(last, ticks(end - 1.0 / 30), true);
        finishQueue_.async([this, failed, end] { complete(end, failed); });
        return;
    }
    const double end = std::max(lastTime_ + 1.0 / 30, endTime - *firstTime_);
    if (!audioMixer_)
        finishQueue_.async([this, end] { complete(end, std::nullopt); });
    else
        finishQueue_.async([this, end] { finalDrain(end); });
}

void RecordingFileWriter::finalDrain(double end)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    std::optional<TarnwickError> interruption;
    for (;;) {
        try {
            if (audioMixer_->drain(
                    *firstTime_ + end, true, [this] { return encoder_->audioReady(); },
                    [this](RecordingPCMBuffer buffer) { return encoder_->pushAudio(std::move(buffer)); }))
                break;
        } catch (const TarnwickError& error) {
            interruption = error;
            break;
        }
        if (!encoder_->waitForAudioRoom(deadline)) {
            if (!encoder_->failure())
                interruption = TarnwickError::message(QStringLiteral("Не удалось завершить аудиодорожку вовремя."));
            break;
        }
    }
    complete(end, interruption);
}

void RecordingFileWriter::complete(double end, std::optional<TarnwickError> interruption)
{
    if (completedFinish_)
        return;
    encoder_->close(ticks(end));
    bool fileFailed = false;
    if (auto failed = encoder_->failure()) {
        fileFailed = failed->fileError;
        if (!interruption)
            interruption = failed->error;
    }
    if (encoder_->videoPacketsWritten() == 0)
        return abandon(interruption.value_or(
            TarnwickError::message(QStringLiteral("Запись не получила ни одного кадра. Проверьте доступ к экрану."))));
    // The fragmented file plays as it is; the index-first copy only needs a second
    // copy's room, and whatever goes wrong with it leaves the fragmented one.
    if (!fileFailed && hasRoomForCopyOf(url_)) {
        const QString rewritten = url_ + QStringLiteral(".index");
        try {
            rewriteWithIndexFirst(url_, rewritten);
            if (std::rename(QFile::encodeName(rewritten).constData(), QFile::encodeName(url_).constData()) != 0)
                QFile::remove(rewritten);
        } catch (const TarnwickError&) {
            QFile::remove(rewritten);
        }
    }
    completedFinish_ = true;
    if (completion_)
        completion_({url_, interruption});
}

void RecordingFileWriter::abandon(TarnwickError error)
{
    if (completedFinish_)
        return;
    completedFinish_ = true;
    encoder_->abort();
    QFile::remove(url_);
    QFile::remove(url_ + QStringLiteral(".index"));
    if (completion_)
        completion_({QString(), std::move(error)});
}

void RecordingFileWriter::cancel()
{
    finishing_ = true;
    lastBuffer_ = QImage();
    completedFinish_ = true;
    encoder_->abort();
    QFile::remove(url_);
}

} // namespace tarnwick
