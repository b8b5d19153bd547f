#pragma once
// The hints of a window's controls, enabled or not. A disabled control gets no mouse messages, and
// under Wine its parent gets none either, so a tooltip that subclasses the controls never sees the
// pointer rest on one. Here each hint is a tool on the parent's rectangle of its control, fed from the
// WM_SETCURSOR that every control, disabled or not, passes up to the parent, and the tooltip is told
// that the window under the pointer is the parent. It is made at the first such message: a run that
// nobody points at never needs it.
#include <windows.h>

#include <utility>
#include <vector>

namespace tarnwick::win32 {

class ControlHints {
  public:
    ~ControlHints();
    // window asks for each text with TTN_GETDISPINFOA, idFrom the control's id.
    void Track(HWND window, std::vector<int> ids) {
        window_ = window;
        ids_ = std::move(ids);
    }
    // From the window's WM_SETCURSOR: under, the window under the pointer; mouseMessage, the one that
    // caused it.
    void OnSetCursor(HWND under, UINT mouseMessage);
    // The controls moved (a new DPI).
    void ControlsMoved();
    HWND Tooltip() const { return tooltip_; }

  private:
    void Create();
    RECT ToolRect(int id) const;
    static LRESULT CALLBACK TooltipProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self);

    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    std::vector<int> ids_;
};

} // namespace tarnwick::win32
