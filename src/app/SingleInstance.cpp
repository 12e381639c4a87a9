#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>

namespace tarnwick {

QString SingleInstance::socketPath(const QString& temporaryRoot, QString display)
{
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    // ":1" and ":1.0" are one display; the name keeps only safe characters.
    display.remove(QRegularExpression(QStringLiteral("\\.\\d+$")));
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    return QDir(temporaryRoot).filePath(QStringLiteral("instance-") + display);
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent) : QObject(parent), path_(std::move(socketPath))
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

bool SingleInstance::handOver(const QStringList& arguments, int connectMs, int answerMs)
{
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(connectMs))
        return false; // nobody listens: a socket left by a dead instance, or none
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << arguments;
    socket.write(message);
    // The running instance answers once it has the whole message.
    return socket.waitForBytesWritten(answerMs) && socket.waitForReadyRead(answerMs) && socket.read(1) == "1";
}

bool SingleInstance::listen()
{
    if (server_.listen(path_))
        return true;
    QLocalServer::removeServer(path_);
    return server_.listen(path_);
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QDataStream stream(socket);
            stream.startTransaction();
            QStringList arguments;
            stream >> arguments;
            if (!stream.commitTransaction())
                return;
            socket->write("1");
            socket->flush();
            socket->disconnectFromServer();
            // A dialog the arguments open must not keep the second start waiting.
            QTimer::singleShot(0, this, [this, arguments] { emit argumentsReceived(arguments); });
        });
    }
}

} // namespace tarnwick
