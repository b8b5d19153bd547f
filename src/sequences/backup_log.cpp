#include "sequences/backup_log.h"

namespace tarnwick {

template <class Write> void BackupLog::Keep(Write write) {
    try {
        if (unreported_ > 0) {
            log_.WriteLog("    (" + std::to_string(unreported_) + (unreported_ == 1 ? " line" : " lines") +
                          " of this backup could not be written to the log)");
            unreported_ = 0;
        }
        write();
    } catch (const IoError&) {
        ++lost_;
        ++unreported_;
    }
}

void BackupLog::WriteLog(const std::string& msg) {
    Keep([&] { log_.WriteLog(msg); });
}

void BackupLog::Flush() {
    Keep([] {});
}

void BackupLog::ShowStatus(const std::string& msg) {
    Keep([&] { log_.ShowStatus(msg); });
}

} // namespace tarnwick
