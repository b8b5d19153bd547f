#include "ui/win32/message_boxes.h"

#include "common/product.h"

namespace tarnwick::win32 {

int MessageBoxes::Show(const std::string& text, const char* caption, UINT flags) {
    const ModalCount::Open open(modals_);
    return MessageBoxA(Owner(), text.c_str(), caption, flags);
}

void MessageBoxes::ShowMessage(const std::string& text) {
    Show(text, ProgramName, MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

bool MessageBoxes::Confirm(const std::string& question) {
    return Show(question, "Confirm", MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL | MB_SETFOREGROUND) == IDYES;
}

void MessageBoxes::InvalidEntry(const std::string& text) {
    Show(text, "Invalid Entry", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void MessageBoxes::Beep() {
    MessageBeep(MB_OK);
}

void MessageBoxes::ShowError(const std::string& text) {
    Show(text, ProgramName, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

} // namespace tarnwick::win32
