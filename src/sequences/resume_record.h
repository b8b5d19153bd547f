#pragma once
// Tarnwick.resume, beside Tarnwick.ini: the VMs a suspension at logoff or Exit suspended that the next
// /START would not start itself, so that it can start them again when the user asks for it. One full
// path per line, in the order they were suspended. Only a suspension writes it, and always whole.
#include "common/services.h"
#include "config/config_store.h"

#include <string>
#include <vector>

namespace tarnwick {

class ResumeRecord {
  public:
    ResumeRecord(std::string path, FileSystem& files, FileWriter& writer)
        : path_(std::move(path)), files_(files), writer_(writer) {}

    // The recorded paths in order; empty when there is no record. Throws IoError when the record exists
    // but cannot be read.
    std::vector<std::string> Paths() const;
    // Adds vmPath after the others unless it is recorded already (by the one letter-case rule) and
    // writes the record whole. A record that cannot be read is not written over: what it holds would be
    // lost.
    Outcome Add(const std::string& vmPath);
    // True when there is no record any more.
    bool Delete();

  private:
    std::string path_;
    FileSystem& files_;
    FileWriter& writer_;
};

} // namespace tarnwick
