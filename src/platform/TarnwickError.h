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

// The sentence to show for a caught failure: ours as it stands, a library's message
// as it is, `fallback` for anything else.
inline QString errorSentence(const std::exception_ptr& error, const QString& fallback)
{
    try {
        std::rethrow_exception(error);
    } catch (const TarnwickError& e) {
        return e.errorDescription();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return fallback;
    }
}

// Thrown by long work when its caller asked it to stop; never shown to the user
// and never stored as a result.
class CancellationError : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

} // namespace tarnwick
