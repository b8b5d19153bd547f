#pragma once
// The program's message boxes.
#include <windows.h>

#include "common/services.h"
#include "ui/modal_count.h"
#include "ui/win32/person_can_see.h" // whether the boxes are seen at all

#include <functional>
#include <string>
#include <utility>

namespace tarnwick::win32 {

class MessageBoxes final : public Dialogs {
  public:
    // owner: the window the boxes belong to at the moment, or none. Every box is counted in modals.
    MessageBoxes(std::function<HWND()> owner, ModalCount& modals)
        : owner_(std::move(owner)), modals_(modals) {}

    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& question) override;
    void InvalidEntry(const std::string& text) override;
    void Beep() override;
    // An error that abandoned a step: an error box titled with the program's name.
    void ShowError(const std::string& text);

  private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }
    int Show(const std::string& text, const char* caption, UINT flags);

    std::function<HWND()> owner_;
    ModalCount& modals_;
};

} // namespace tarnwick::win32
