// The main window's DPI arithmetic: scaled places, the frame, the first placement and a DPI change.
#include "ui/window_geometry.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(WindowGeometry, PlacesScaleByEdgesRoundingHalvesAwayFromZero) {
    EXPECT_EQ(ScaleToDpi(17, 96), 17);
    EXPECT_EQ(ScaleToDpi(17, 144), 26); // 25.5
    EXPECT_EQ(ScaleToDpi(-17, 144), -26);
    EXPECT_EQ(ScaleToDpi(11, 120), 14); // 13.75
    EXPECT_EQ(ScaleToDpi(5, 120), 6);   // 6.25
    // The Save button at 144 DPI; its neighbour Forget ends 7 laid-out pixels before it.
    const PixelRect save = ScaleToDpi(448, 232, 121, 33, 144);
    EXPECT_EQ(save, (PixelRect{672, 348, 854, 398}));
    EXPECT_EQ(save.Width(), 182); // 121 x 1.5 = 181.5, rounded at the right edge
    // Neighbours that touch at 96 DPI still touch at 120, where scaled widths would leave a gap:
    // 5 + 5 ends at 6 + 6 = 12, but the next one starts at 12.5, that is 13.
    const PixelRect first = ScaleToDpi(5, 0, 5, 13, 120), second = ScaleToDpi(10, 0, 5, 13, 120);
    EXPECT_EQ(first.right, second.left);
    // Huge values do not overflow on the way.
    EXPECT_EQ(ScaleToDpi(20'000'000, 480), 100'000'000);
}

TEST(WindowGeometry, FrameAddsTheBordersOfItsOwnDpiAndKeepsTheCorner) {
    // Borders as the system reports them at 144 DPI: caption and thick frame, wider than at 96.
    const PixelRect borders144{-12, -45, 12, 12};
    const PixelRect frame = FrameAround(339, 316, 574, 344, 144, borders144);
    EXPECT_EQ(frame, (PixelRect{339, 316, 339 + 861 + 24, 316 + 516 + 57}));
    const PixelRect borders96{-8, -31, 8, 8};
    EXPECT_EQ(FrameAround(0, 0, 574, 344, 96, borders96), (PixelRect{0, 0, 590, 383}));
}

TEST(WindowGeometry, FirstPlacementMovesOntoTheWorkAreaWithoutResizing) {
    const PixelRect work{0, 0, 800, 570}; // a small screen above a taskbar
    // Fits as laid out: unchanged.
    EXPECT_EQ(KeepOnWorkArea({339, 100, 929, 483}, {0, 0, 1024, 738}), (PixelRect{339, 100, 929, 483}));
    // Off the right and the bottom: moved back in, same size.
    EXPECT_EQ(KeepOnWorkArea({339, 316, 929, 699}, work), (PixelRect{210, 187, 800, 570}));
    // Larger than the work area: the top-left corner (caption and system menu) stays reachable.
    EXPECT_EQ(KeepOnWorkArea({339, 316, 1224, 889}, work), (PixelRect{0, 0, 885, 573}));
    // A work area that does not start at 0 (a monitor left of the primary, a taskbar on top).
    EXPECT_EQ(KeepOnWorkArea({-2000, 10, -1410, 393}, {-1280, 40, 0, 1024}),
              (PixelRect{-1280, 40, -690, 423}));
}

TEST(WindowGeometry, DpiChangeTakesTheSuggestedRectangleAsItIs) {
    // Dragged half onto a 144 DPI monitor to the right: the suggestion lies across both monitors and
    // must not be pushed onto either.
    const PixelRect suggested{1700, 300, 2585, 873};
    const DpiChange change = ReadDpiChange((144u << 16) | 144u, suggested);
    EXPECT_EQ(change.dpi, 144);
    EXPECT_EQ(change.window, suggested);
    // Back to 96: the high word is the DPI; no default where the system gave one.
    EXPECT_EQ(ReadDpiChange((96u << 16) | 96u, suggested).dpi, 96);
    EXPECT_EQ(ReadDpiChange((120u << 16) | 120u, suggested).dpi, 120);
    // A message without a DPI leaves the window at the standard one.
    EXPECT_EQ(ReadDpiChange(0, suggested).dpi, 96);
}
