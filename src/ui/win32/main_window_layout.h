#pragma once
// The main window's controls: the tables they are made from, the command each one gives, and their
// layout at the window's DPI with the fonts and pictures it needs.
#include <windows.h>

#include "common/win32/handles.h"
#include "ui/main_view.h"

#include <optional>
#include <vector>

namespace tarnwick::win32 {

// The command a control, toolbar button or tray menu item gives; nullopt for the others.
std::optional<UserCommand> CommandOf(int id);
// The control that shows an option box.
int ControlOf(OptionBox box);
// The hint of a toolbar button; nullptr for any other id.
const char* ToolHint(UINT_PTR id);
// The laid-out hint of a control; nullptr for one without.
const char* ControlHint(int id);
// The controls that show a hint: those with a laid-out one, and the tool directory, whose hint is its
// whole text.
std::vector<int> HintedControls();

class MainWindowLayout {
  public:
    // The window's client size at 96 DPI, and where it first appears.
    static constexpr int ClientWidth = 574, ClientHeight = 344;
    static constexpr int InitialLeft = 339, InitialTop = 316;

    // Creates every control of the window, the toolbar last.
    void CreateControls(HWND window, int dpi) const;
    // Makes the fonts for dpi and places, sizes and dresses the controls with them; the frame is left
    // as it is.
    void Arrange(HWND window, int dpi);
    // The toolbar's and the floppy's pictures for dpi, made at the first paint: a window that stays
    // hidden never needs them, and the start-up shows the window sooner without them.
    void MakePictures(HWND window, int dpi);
    // Sizes the frame around the laid-out client area at dpi, where the window first appears, moved
    // onto the work area of its monitor.
    static void PlaceWindow(HWND window, int dpi);

  private:
    void CreateFonts(int dpi);

    UniqueGdiObject font_, boldFont_, titleFont_, italicFont_;
    UniqueImageList toolbarImages_, floppyImages_;
    int picturesDpi_ = 0; // none made yet
};

} // namespace tarnwick::win32
