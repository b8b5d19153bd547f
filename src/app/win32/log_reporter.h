#pragma once
// The activity log, stamped in the user's regional formats, and the status line in the main window's
// caption.
#include "app/log_format.h"
#include "common/run_files.h"
#include "common/services.h"

#include <functional>
#include <string>

namespace tarnwick::win32 {

class LogReporter final : public Reporter {
  public:
    // showCaption sets the window's caption and lets the window handle what is waiting.
    LogReporter(const RunFiles& files, std::function<void(const std::string& caption)> showCaption);

    void WriteLog(const std::string& msg) override;
    void ShowStatus(const std::string& msg) override;

    const LocaleFormats& Formats() const { return formats_; }
    // Again after the user changed the regional settings.
    void ReadFormats();

  private:
    const RunFiles& files_;
    std::function<void(const std::string&)> showCaption_;
    LocaleFormats formats_;
};

} // namespace tarnwick::win32
