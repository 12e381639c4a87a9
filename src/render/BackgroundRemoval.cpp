#include "render/BackgroundRemoval.h"

#include "render/Engines.h"

#include "platform/MainThread.h"
#include "platform/SerialQueue.h"
#include "platform/TarnwickError.h"

#include <QCoreApplication>
#include <QPointer>

namespace tarnwick {

platform::SerialQueue& BackgroundRemoval::queue()
{
    static platform::SerialQueue queue("com.tarnwick.background-removal");
    return queue;
}

QImage BackgroundRemoval::remove(const QImage& image, const std::function<bool()>& isCancelled)
{
    return effectsEngine().removeBackground(image, isCancelled);
}

void BackgroundRemoval::start(const QImage& image, std::shared_ptr<BackgroundRemovalJob> job, QObject* receiver,
                              std::function<void(const Outcome&)> done, Processor processor)
{
    QPointer<QObject> target(receiver);
    queue().async([image, job = std::move(job), target, done = std::move(done), processor = std::move(processor)] {
        Outcome outcome;
        try {
            outcome.image = processor(image, [job] { return job && job->isCancelled(); });
        } catch (...) {
            outcome.error = std::current_exception();
        }
        // The receiver lives on the GUI thread; it is checked there, where it cannot vanish meanwhile.
        platform::deliver(QCoreApplication::instance(), [target, done, outcome] {
            if (target)
                done(outcome);
        });
    });
}

} // namespace tarnwick
