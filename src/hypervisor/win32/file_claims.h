#pragma once
// Lock files held open, unshared, until the process ends; the system deletes each when it lets go.
#include "hypervisor/capture_file.h"

#include "common/win32/handles.h"

#include <vector>

namespace tarnwick::win32 {

class WinFileClaims final : public FileClaims {
  public:
    Claim HoldForLife(const std::string& lockPath) override;

  private:
    std::vector<UniqueFile> held_;
};

} // namespace tarnwick::win32
