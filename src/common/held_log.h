#pragma once
// The log as the whole program writes it. Normally a line that cannot be written throws and abandons the
// handler; while a hold is on (a logoff or shutdown handler, which Windows wants answered at once, or
// start-up, which must still load the list and start it) the first failure is remembered instead, and the
// shell reports it once, later, when no hold is on.
#include "common/services.h"

#include <optional>
#include <string>

namespace tarnwick {

class HeldLog final : public Reporter {
  public:
    explicit HeldLog(Reporter& log) : log_(log) {}

    void WriteLog(const std::string& msg) override;
    void ShowStatus(const std::string& msg) override;

    class Hold {
      public:
        explicit Hold(HeldLog& log) : log_(log) { ++log_.holds_; }
        ~Hold() { --log_.holds_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        HeldLog& log_;
    };
    bool Holding() const { return holds_ > 0; }
    // Keeps an error of a held step for the later report; only the first one waiting is kept.
    void Remember(const std::string& error);
    // The failure waiting to be reported, handed out once; nothing while a hold is on.
    std::optional<std::string> TakeFailure();

  private:
    template <class Write> void Guarded(Write write);

    Reporter& log_;
    int holds_ = 0;
    std::optional<std::string> failure_;
};

} // namespace tarnwick
