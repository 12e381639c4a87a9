#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <utility>

namespace tarnwick::platform {

// Delivers `fn` on the thread of `receiver` (the GUI thread for our models).
// Qt drops the call when the receiver is destroyed before it runs, which is how
// a late result of a closed window or an ended session is discarded.
template <typename Fn>
void deliver(QObject* receiver, Fn&& fn)
{
    if (!receiver)
        return;
    QMetaObject::invokeMethod(receiver, std::forward<Fn>(fn), Qt::QueuedConnection);
}

} // namespace tarnwick::platform
