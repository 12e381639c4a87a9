#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace tarnwick {

// Tarnwick runs once per user and X display. The first start listens on a
// local socket in the private temporary folder; a later start hands its
// arguments over and ends. GUI thread.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket of `display` ($DISPLAY when empty) inside `temporaryRoot`.
    static QString socketPath(const QString& temporaryRoot, QString display = {});

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);

    // True when a running instance took the arguments. An instance that takes the
    // connection within `connectMs` is alive; it answers when its event loop next turns,
    // which on a busy machine or during its own start can be seconds: it gets `answerMs`.
    bool handOver(const QStringList& arguments, int connectMs = 1000, int answerMs = 30000);
    // Becomes the running instance; a socket left by a dead one is replaced.
    bool listen();

signals:
    // Arguments of a later start, delivered after its hand-over has been answered.
    void argumentsReceived(const QStringList& arguments);

private:
    void accept();

    QString path_;
    QLocalServer server_;
};

} // namespace tarnwick
