#include "app/unattended.h"

namespace tarnwick {

bool MessagesGoToLog(bool backupRun, bool personCanSee) {
    return backupRun && !personCanSee;
}

void RoutedDialogs::Log(const std::string& text) {
    try {
        log_.WriteLog(text);
    } catch (const IoError&) {
    }
}

void RoutedDialogs::ShowMessage(const std::string& text) {
    if (ToLog())
        Log(text);
    else
        boxes_.ShowMessage(text);
}

bool RoutedDialogs::Confirm(const std::string& question) {
    if (!ToLog()) return boxes_.Confirm(question);
    Log(question + " (no one to answer; taken as No)");
    return false;
}

void RoutedDialogs::InvalidEntry(const std::string& text) {
    if (ToLog())
        Log(text);
    else
        boxes_.InvalidEntry(text);
}

void RoutedDialogs::Beep() {
    if (!ToLog()) boxes_.Beep();
}

} // namespace tarnwick
