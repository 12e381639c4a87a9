#pragma once

#include "platform/TarnwickError.h"

#include <QString>
#include <functional>

namespace tarnwick::test {

// The sentence of the TarnwickError an action throws; empty when it throws none.
inline QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const TarnwickError& error) {
        return error.errorDescription();
    }
    return {};
}

} // namespace tarnwick::test
