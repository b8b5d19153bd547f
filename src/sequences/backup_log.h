#pragma once
// The log as a backup run writes it: a line that cannot be written is counted instead of ending the
// run, so that every VM it suspended is resumed. The count is logged as soon as a line goes through.
#include "common/services.h"

#include <cstddef>
#include <string>

namespace tarnwick {

class BackupLog final : public Reporter {
  public:
    explicit BackupLog(Reporter& log) : log_(log) {}
    void WriteLog(const std::string& msg) override;
    void ShowStatus(const std::string& msg) override;
    size_t LostLines() const { return lost_; }
    // Logs the count of lines not yet reported, when the log takes it.
    void Flush();

  private:
    template <class Write> void Keep(Write write);

    Reporter& log_;
    size_t lost_ = 0;
    size_t unreported_ = 0;
};

} // namespace tarnwick
