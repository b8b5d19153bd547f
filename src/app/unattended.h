#pragma once
// Message boxes where a person can answer them, and the log where no one can.
#include "common/services.h"

#include <functional>

#include <string>

namespace tarnwick {

// Whether a run's messages go to the log instead of boxes: a /BKP run that no person can see (a
// scheduled task that runs whether the user is logged on or not) would wait for ever on a box.
bool MessagesGoToLog(bool backupRun, bool personCanSee);

// The program's boxes, or once SendToLog was called, the log: a message becomes a log line, and a
// question is answered No, the answer that changes nothing.
class RoutedDialogs final : public Dialogs {
  public:
    RoutedDialogs(Dialogs& boxes, Reporter& log) : boxes_(boxes), log_(log) {}
    void SendToLog() { toLog_ = true; }
    // Also to the log whenever when() says so: a box inside a logoff's handling holds the session until
    // someone answers it.
    void SendToLogWhile(std::function<bool()> when) { toLogWhile_ = std::move(when); }
    bool ToLog() const { return toLog_ || (toLogWhile_ && toLogWhile_()); }

    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& question) override;
    void InvalidEntry(const std::string& text) override;
    void Beep() override;

  private:
    // The exit code tells what a lost line would have said.
    void Log(const std::string& text);

    Dialogs& boxes_;
    Reporter& log_;
    bool toLog_ = false;
    std::function<bool()> toLogWhile_;
};

} // namespace tarnwick
