#pragma once

namespace tarnwick {

// Stores `value` in `field` and calls `touch` (the state's change notice) only on a real change:
// the assign rule of the editor state's members that hold plain fields.
template <typename T, typename Touch>
void assignField(T& field, const T& value, const Touch& touch)
{
    if (field == value)
        return;
    field = value;
    touch();
}

} // namespace tarnwick
