#pragma once
// The main window's pixel arithmetic at a given DPI: laid-out sizes scaled from 96 DPI, the frame
// around a client area, where the window first appears, and what a DPI change asks of it.
#include <cstdint>

namespace tarnwick {

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};

// A length laid out at 96 DPI, at dpi: rounded to the nearest pixel, halves away from zero, as MulDiv.
int ScaleToDpi(int value96, int dpi);
// A control's place laid out at 96 DPI (left, top, width, height), at dpi. Its edges are scaled, not its
// size, so that neighbours that touch at 96 DPI still touch.
PixelRect ScaleToDpi(int left96, int top96, int width96, int height96, int dpi);

// The window rectangle whose client area is clientWidth96 x clientHeight96 laid out at 96 DPI, at dpi,
// with its top-left corner at (left, top). frameOfEmptyClient: what the system's frame adds around an
// empty client rectangle at that dpi (the adjusted rectangle of {0, 0, 0, 0}: left and top negative).
PixelRect FrameAround(int left, int top, int clientWidth96, int clientHeight96, int dpi,
                      const PixelRect& frameOfEmptyClient);

// The laid-out place may be off a small screen: moved, never resized, so that the window lies on the
// work area, its top-left corner first when it is larger.
PixelRect KeepOnWorkArea(const PixelRect& window, const PixelRect& workArea);

// What a DPI change asks of the window: the new DPI (the message's high word, the vertical DPI; its low
// word holds the horizontal one, which is the same) and the rectangle the system suggests, taken as it
// is. The system chose it so that the window stays under the pointer while it is dragged across
// monitors; moving or resizing it again makes the window jump.
struct DpiChange {
    int dpi;
    PixelRect window;
};
DpiChange ReadDpiChange(uint32_t wParam, const PixelRect& suggested);

} // namespace tarnwick
