#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace tarnwick {

// The program's one error type: a finished Russian sentence for the user.
// Receivers show `errorDescription()` unchanged.
class TarnwickError : public std::exception {
public:
    static TarnwickError message(const QString& sentence) { return TarnwickError(sentence); }
    explicit TarnwickError(QString sentence) : sentence_(std::move(sentence)), utf8_(sentence_.toUtf8()) {}

    const QString& errorDescription() const noexcept { return sentence_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString sentence_;
    QByteArray utf8_;
};

// Thrown by long work when its caller asked it to stop; never shown to the user
// and never stored as a result.
class CancellationError : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

} // namespace tarnwick
