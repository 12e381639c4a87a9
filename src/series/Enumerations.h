#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

// Enumerations of choices: string raw values equal to the case names, iterable in
// declaration order, identifiable by raw value. Each enumeration specialises
// EnumInfo with its names in declaration order; values are 0, 1, 2, ….
namespace tarnwick {

template <typename E>
struct EnumInfo;

template <typename E>
constexpr std::size_t caseCount() { return EnumInfo<E>::names.size(); }

template <typename E>
constexpr auto allCases()
{
    std::array<E, caseCount<E>()> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i)
        cases[i] = static_cast<E>(i);
    return cases;
}

template <typename E>
constexpr std::string_view rawValue(E e) { return EnumInfo<E>::names[static_cast<std::size_t>(e)]; }

template <typename E>
QString rawString(E e)
{
    auto raw = rawValue(e);
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

template <typename E>
constexpr std::optional<E> fromRaw(std::string_view raw)
{
    for (std::size_t i = 0; i < caseCount<E>(); ++i)
        if (EnumInfo<E>::names[i] == raw)
            return static_cast<E>(i);
    return std::nullopt;
}

template <typename E>
std::optional<E> fromRaw(QStringView raw)
{
    QByteArray latin = raw.toUtf8();
    return fromRaw<E>(std::string_view(latin.constData(), static_cast<std::size_t>(latin.size())));
}

} // namespace tarnwick
