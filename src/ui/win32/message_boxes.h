#pragma once
// The program's message boxes.
#include <windows.h>

#include "common/services.h"

#include <functional>
#include <string>
#include <utility>

namespace tarnwick::win32 {

class MessageBoxes final : public Dialogs {
  public:
    // owner: the window the boxes belong to at the moment, or none.
    explicit MessageBoxes(std::function<HWND()> owner) : owner_(std::move(owner)) {}

    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& question) override;
    void InvalidEntry(const std::string& text) override;
    void Beep() override;
    // An error that abandoned a step: an error box titled with the program's name.
    void ShowError(const std::string& text);

  private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }

    std::function<HWND()> owner_;
};

} // namespace tarnwick::win32
