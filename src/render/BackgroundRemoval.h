#pragma once

#include "render/effects/ForegroundSegmenter.h"

#include <QImage>
#include <QObject>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace tarnwick {

namespace platform {
class SerialQueue;
}

// The cancellation token of one background removal, shared by the editor and
// the worker.
class BackgroundRemovalJob {
public:
    void cancel()
    {
        std::lock_guard guard(lock_);
        cancelled_ = true;
    }
    bool isCancelled() const
    {
        std::lock_guard guard(lock_);
        return cancelled_;
    }

private:
    mutable std::mutex lock_;
    bool cancelled_ = false;
};

// Cuts the foreground out of an image: what the segmenter finds stays, the rest
// becomes transparent, with soft edges.
class BackgroundRemoval {
public:
    BackgroundRemoval() = delete;

    // The image and the cancellation test; returns the image without its background.
    using Processor = std::function<QImage(const QImage&, const std::function<bool()>&)>;

    // What a removal ended with: the image, or the error it threw.
    struct Outcome {
        QImage image;
        std::exception_ptr error;
    };

    // The serial queue "com.tarnwick.background-removal"; removals never overlap.
    static platform::SerialQueue& queue();

    // Synchronous and blocking; runs on the queue. The result has the input's
    // pixel size, Format_RGBA8888_Premultiplied, the input's RGB colour space (sRGB
    // for other inputs) and alpha 0 outside the foreground. Throws
    // CancellationError or TarnwickError. The segmentation is the effects module's.
    static QImage remove(const QImage& image, const std::function<bool()>& isCancelled);

    // The image over transparency through `mask`, which must have its pixel size.
    // Part of the effects module, like the segmentation that makes the mask.
    static QImage applying(const SoftMask& mask, const QImage& image);

    // Runs `processor` on the queue with the job's cancellation test and hands the
    // outcome to `done` on the thread of `receiver` (dropped when it is gone).
    static void start(const QImage& image, std::shared_ptr<BackgroundRemovalJob> job, QObject* receiver,
                      std::function<void(const Outcome&)> done, Processor processor = &BackgroundRemoval::remove);
};

} // namespace tarnwick
