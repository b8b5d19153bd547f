#pragma once
// The one answer to "can a person see this program's boxes and notices?".

namespace tarnwick::win32 {

// Whether this process's window station is the visible, interactive one, and not the hidden one of a
// service or of a scheduled task that runs whether the user is logged on or not. When the station's flags
// cannot be read the answer is no: an unattended run must never wait on a box nobody can answer, while
// a person who was there after all loses only a box or a balloon, whose text still goes to the log.
bool PersonCanSee();

} // namespace tarnwick::win32
