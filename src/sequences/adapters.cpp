#include "sequences/adapters.h"

namespace tarnwick {

std::optional<size_t> ControlListPort::FindText(const std::string& text) const {
    if (!list_.Contains(text)) return std::nullopt; // the common miss costs no walk
    for (size_t i = 0; i < list_.Count(); ++i)
        if (SameTextIgnoringCase(list_.Text(i), text)) return i;
    return std::nullopt;
}

} // namespace tarnwick
