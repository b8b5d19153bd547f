#include "hypervisor/capture_file.h"

#include "common/paths.h"

namespace tarnwick {

std::string CaptureSlotPath(const std::string& appDir, int slot) {
    if (slot <= 1) return appDir + CaptureFileName;
    return appDir + "Tarnwick-" + std::to_string(slot) + ".tmp";
}

std::string CaptureLockPath(const std::string& capturePath) {
    return capturePath + ".lock";
}

std::string ClaimCapturePath(const std::string& appDir, FileClaims& claims, uint32_t processId) {
    for (int slot = 1; slot <= CaptureSlots; ++slot) {
        const std::string path = CaptureSlotPath(appDir, slot);
        switch (claims.HoldForLife(CaptureLockPath(path))) {
        case FileClaims::Claim::Ours:
            return path;
        case FileClaims::Claim::HeldByAnother:
            continue;
        case FileClaims::Claim::Unavailable:
            if (slot == 1) return path;
            slot = CaptureSlots; // no lock can be made here: fall through to the process's own name
            break;
        }
    }
    return appDir + "Tarnwick-p" + std::to_string(processId) + ".tmp";
}

std::string CaptureFiles::Current() const {
    if (depth_ == 0) return outer_;
    const size_t nameStart = DirectoryPart(outer_).size();
    const size_t dot = outer_.find_last_of('.');
    const std::string level = "." + std::to_string(depth_);
    if (dot == std::string::npos || dot < nameStart) return outer_ + level;
    return outer_.substr(0, dot) + level + outer_.substr(dot);
}

} // namespace tarnwick
