#include "sequences/adapters.h"

namespace tarnwick {

int ControlListPort::FindText(const std::string& text) const {
    if (!list_.Contains(text)) return -1; // the common miss costs no walk
    for (size_t i = 0; i < list_.Count(); ++i)
        if (SameTextIgnoringCase(list_.Text(i), text)) return static_cast<int>(i);
    return -1;
}

} // namespace tarnwick
