#include "recording/review/RecordingTimelineTime.h"

#include <QStringList>
#include <charconv>
#include <cmath>

namespace tarnwick {

namespace {

// The whole piece as a finite number, in the C locale whatever the process locale is.
std::optional<double> number(const QString& piece)
{
    QByteArray bytes = piece.toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-' && begin[1] != '+')
        ++begin;
    double value = 0;
    auto [ptr, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool whole(double value) { return std::floor(value) == value; }

} // namespace

QString RecordingTimelineTime::string(double seconds)
{
    // Far beyond any recording; keeps the integer conversion defined.
    const double limit = 1e12;
    double clamped = std::isfinite(seconds) ? std::min(std::max(seconds, 0.0), limit) : 0.0;
    long long ms = std::llround(clamped * 1000);
    return QString::asprintf("%02lld:%02lld.%03lld", ms / 60000, (ms / 1000) % 60, ms % 1000);
}

std::optional<double> RecordingTimelineTime::parse(const QString& text)
{
    QString cleaned = text.trimmed();
    cleaned.replace(QLatin1Char(','), QLatin1Char('.'));
    const QStringList pieces = cleaned.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (pieces.size() > 3)
        return std::nullopt;
    std::optional<double> first = number(pieces.front());
    if (!first || *first < 0 || (pieces.size() > 1 && !whole(*first)))
        return std::nullopt;
    double value = *first;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        std::optional<double> piece = number(pieces[i]);
        bool last = i == pieces.size() - 1;
        if (!piece || *piece < 0 || *piece >= 60 || (!last && !whole(*piece)))
            return std::nullopt;
        value = value * 60 + *piece;
    }
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

} // namespace tarnwick
