#pragma once
// Delay and wait entries as the start, suspend and backup runs carry them out.
#include "common/services.h"
#include "sequences/ports.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The seconds of a delay, from the text after "DELAY:" or "WAIT:", when they are a whole number above 0.
std::optional<int32_t> DelayLength(std::string_view secondsText);
// What a run that only passes a delay by sleeps: a tenth of its seconds, in milliseconds. A suspend run
// passes the delays set for starting, and a backup run a wait entry, whose seconds are a limit and not
// a boot time.
uint64_t TenthOfDelayMilliseconds(int32_t seconds);
// The one line logged in place of a delay whose seconds are not integer text or are below 1.
std::string InvalidDelayLine(std::string_view delayText);
std::string InvalidWaitLine(std::string_view waitText);

// What a wait entry waits for: the nearest VM or Team entry above it, whatever its check mark, or why
// it sleeps its seconds as a delay would.
enum class WaitFallback { None, NoVmAbove, Team, NoToolsQuery, NotStarted };
struct WaitTarget {
    std::string vm; // the entry's text; empty with NoVmAbove
    WaitFallback fallback = WaitFallback::None;
};
// started(j): this run started the VM of entry j, as its text reads now.
WaitTarget ChooseWaitTarget(const ControlListView& list, size_t waitIndex, bool useVmrun,
                            const std::function<bool(size_t)>& started);
// The line that says why the entry sleeps instead; empty for None.
std::string WaitFallbackLine(const WaitTarget& target, std::string_view waitText);

// Sleeps through Processes::Sleep, in pieces short enough never to mean "wait forever".
// stop: asked while it sleeps; true ends the sleep there.
void SleepMilliseconds(Processes& processes, uint64_t milliseconds,
                       const std::function<bool()>& stop = nullptr);

} // namespace tarnwick
