#pragma once

// What the two halves of the recording session share: its work off the GUI thread and the
// wording of its messages.
#include "platform/TarnwickError.h"
#include "recording/ScreenRecordingController.h"

#include <QApplication>
#include <QPointer>
#include <QThreadPool>
#include <QUuid>
#include <optional>

namespace tarnwick::recording {

inline const QString saveDirectoryKey = QStringLiteral("recordingSaveDirectory");

// Runs `work` on a worker thread and `done(value, error)` back on the GUI
// thread; `done` is skipped when the controller has gone, but is always
// destroyed on the GUI thread, so whatever it holds is released there.
template <typename Work, typename Done>
inline void inBackground(QPointer<ScreenRecordingController> self, Work work, Done done)
{
    QThreadPool::globalInstance()->start([self, work = std::move(work), done = std::move(done)]() mutable {
        using Value = decltype(work());
        Value value{};
        std::optional<TarnwickError> error;
        try {
            value = work();
        } catch (const TarnwickError& e) {
            error = e;
        } catch (const std::exception& e) {
            error = TarnwickError(QString::fromUtf8(e.what()));
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, value = std::move(value), error = std::move(error), done = std::move(done)]() mutable {
                if (self)
                    done(std::move(value), std::move(error));
            },
            Qt::QueuedConnection);
    });
}

// A description framed by a sentence that goes on after it, without a doubled full stop.
inline QString clause(const TarnwickError& error)
{
    QString text = error.errorDescription();
    if (text.endsWith(u'.') && !text.endsWith(QStringLiteral("..")))
        text.chop(1);
    return text;
}

inline QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace tarnwick::recording
