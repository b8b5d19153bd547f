#include "sequences/delay.h"

#include "config/control_list.h"
#include "config/integer_text.h"

#include <algorithm>

namespace tarnwick {

std::optional<int32_t> DelayLength(std::string_view secondsText) {
    return ParsePositiveInteger(secondsText);
}

uint64_t TenthOfDelayMilliseconds(int32_t seconds) {
    return static_cast<uint64_t>(seconds) * 100;
}

std::string InvalidDelayLine(std::string_view delayText) {
    return "Skipping invalid delay: \"" + std::string(delayText) +
           "\" (the seconds must be a whole number of at least 1)";
}

std::string InvalidWaitLine(std::string_view waitText) {
    return "Skipping invalid wait: \"" + std::string(waitText) +
           "\" (the seconds must be a whole number of at least 1)";
}

WaitTarget ChooseWaitTarget(const ControlListView& list, size_t waitIndex, bool useVmrun,
                            const std::function<bool(size_t)>& started) {
    for (size_t j = std::min(waitIndex, list.Count()); j-- > 0;) {
        std::string text = list.Text(j);
        switch (KindOf(text)) {
        case EntryKind::Illegal:
        case EntryKind::Delay:
        case EntryKind::Wait:
        case EntryKind::Prompt:
            continue;
        case EntryKind::Team:
            return {std::move(text), WaitFallback::Team};
        case EntryKind::SkipMarker: // still marked: passed over in this run
        case EntryKind::VM:
            break;
        }
        if (!useVmrun) return {std::move(text), WaitFallback::NoToolsQuery};
        const bool ran = KindOf(text) == EntryKind::VM && started(j);
        return {std::move(text), ran ? WaitFallback::None : WaitFallback::NotStarted};
    }
    return {std::string(), WaitFallback::NoVmAbove};
}

std::string WaitFallbackLine(const WaitTarget& target, std::string_view waitText) {
    const std::string cannot = "Cannot wait for " + target.vm + " to be ready: ";
    const char* const instead = "; sleeping instead.";
    switch (target.fallback) {
    case WaitFallback::None:
        break;
    case WaitFallback::NoVmAbove:
        return "No VM above \"" + std::string(waitText) + "\" to wait for" + instead;
    case WaitFallback::Team:
        return cannot + "it is a Team, whose VMs' tools cannot be asked" + instead;
    case WaitFallback::NoToolsQuery:
        return cannot + "vmware-cmd cannot ask a VM's tools" + instead;
    case WaitFallback::NotStarted:
        return cannot + "it was not started in this run" + instead;
    }
    return std::string();
}

void SleepMilliseconds(Processes& processes, uint64_t milliseconds, const std::function<bool()>& stop) {
    // 0xFFFFFFFF would be INFINITE to the Win32 waits behind Sleep.
    constexpr uint64_t longestPiece = 0x7FFFFFFF;
    do {
        const uint64_t piece = std::min(milliseconds, longestPiece);
        if (!stop) {
            processes.Sleep(static_cast<unsigned>(piece));
        } else {
            processes.SleepUnless(static_cast<unsigned>(piece), stop);
            if (stop()) return;
        }
        milliseconds -= piece;
    } while (milliseconds > 0);
}

} // namespace tarnwick
