#pragma once
// Whole-file replacement that never leaves a file half written.
#include "config/config_store.h"

namespace tarnwick::win32 {

// Writes the bytes to "<path>.new" beside the file, flushes them to disk, and only then moves the new
// file over the old one. A read-only or locked file stays as it was, and the outcome says why.
class AtomicFileWriter : public FileWriter {
  public:
    Outcome ReplaceWholeFile(const std::string& path, const std::string& bytes) override;
};

} // namespace tarnwick::win32
