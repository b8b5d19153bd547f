#include "ui/window_geometry.h"

#include <algorithm>

namespace tarnwick {

int ScaleToDpi(int value96, int dpi) {
    const int64_t product = static_cast<int64_t>(value96) * dpi;
    const int64_t half = product < 0 ? -48 : 48;
    return static_cast<int>((product + half) / 96);
}

PixelRect ScaleToDpi(int left96, int top96, int width96, int height96, int dpi) {
    return {ScaleToDpi(left96, dpi), ScaleToDpi(top96, dpi), ScaleToDpi(left96 + width96, dpi),
            ScaleToDpi(top96 + height96, dpi)};
}

PixelRect FrameAround(int left, int top, int clientWidth96, int clientHeight96, int dpi,
                      const PixelRect& frameOfEmptyClient) {
    const int width = ScaleToDpi(clientWidth96, dpi) + frameOfEmptyClient.Width();
    const int height = ScaleToDpi(clientHeight96, dpi) + frameOfEmptyClient.Height();
    return {left, top, left + width, top + height};
}

PixelRect KeepOnWorkArea(const PixelRect& window, const PixelRect& workArea) {
    int x = window.left, y = window.top;
    x = std::min(x, workArea.right - window.Width());
    y = std::min(y, workArea.bottom - window.Height());
    x = std::max(x, workArea.left);
    y = std::max(y, workArea.top);
    return {x, y, x + window.Width(), y + window.Height()};
}

DpiChange ReadDpiChange(uint32_t wParam, const PixelRect& suggested) {
    const int dpi = static_cast<int>((wParam >> 16) & 0xFFFF);
    return {dpi > 0 ? dpi : 96, suggested};
}

} // namespace tarnwick
