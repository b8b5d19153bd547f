#pragma once
// One file copied in-process: CopyFileExW runs on a thread of its own while the calling thread waits
// for it with the window answering, and gives it up when it stops making progress.
#include "sequences/ports.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tarnwick::win32 {

// As BackupFolders::CopyOneFile. A copy given up on is cancelled; one stuck in a read that cannot be
// cancelled is left to its thread, which holds what it needs, and this returns within seconds.
BackupFolders::CopyResult CopyFileWatched(const std::string& from, const std::string& to,
                                          uint32_t stallSeconds, const std::function<void()>& answer,
                                          const std::function<void(uint64_t)>& copied);

} // namespace tarnwick::win32
