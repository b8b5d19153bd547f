#include "ui/win32/person_can_see.h"

#include <windows.h>

namespace tarnwick::win32 {

bool PersonCanSee() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    const HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed))
        return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

} // namespace tarnwick::win32
