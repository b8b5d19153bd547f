#include "ui/win32/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tarnwick::win32 {
namespace {

// One picture as the list stores it: 0xAARRGGBB colour pixels and the mask (true = background).
struct Stored {
    int size = 0;
    std::vector<uint32_t> argb;
    std::vector<bool> background;

    int Alpha(int i) const { return static_cast<int>(argb[i] >> 24); }
    int Channel(int i, int shift) const { return static_cast<int>((argb[i] >> shift) & 0xFF); }
};

std::vector<uint32_t> ReadBitmap(HBITMAP bitmap, int& width, int& height) {
    BITMAP bm{};
    if (!GetObjectA(bitmap, sizeof bm, &bm)) return {};
    width = bm.bmWidth;
    height = bm.bmHeight;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    HDC dc = GetDC(nullptr);
    const int lines = GetDIBits(dc, bitmap, 0, height, pixels.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (lines != height) return {};
    return pixels;
}

Stored ReadImage(HIMAGELIST list, int index) {
    IMAGEINFO info{};
    Stored s;
    if (!ImageList_GetImageInfo(list, index, &info)) return s;
    int w = 0, h = 0, mw = 0, mh = 0;
    const std::vector<uint32_t> colour = ReadBitmap(info.hbmImage, w, h);
    const std::vector<uint32_t> mask =
        info.hbmMask ? ReadBitmap(info.hbmMask, mw, mh) : std::vector<uint32_t>{};
    const RECT& r = info.rcImage;
    s.size = r.right - r.left;
    if (colour.empty() || r.bottom - r.top != s.size) return s;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            s.argb.push_back(colour[static_cast<size_t>(y) * w + x]);
            s.background.push_back(!mask.empty() && (mask[static_cast<size_t>(y) * mw + x] & 0xFFFFFF) != 0);
        }
    }
    return s;
}

int OpaqueCount(const Stored& s) {
    int n = 0;
    for (size_t i = 0; i < s.argb.size(); ++i)
        n += s.Alpha(static_cast<int>(i)) >= 0x80;
    return n;
}

// Colour channels of a premultiplied pixel never exceed its alpha; a straight-alpha or garbled
// picture breaks that at once.
void ExpectPremultiplied(const Stored& s, const char* what) {
    for (size_t i = 0; i < s.argb.size(); ++i) {
        const int a = s.Alpha(static_cast<int>(i));
        for (int shift : {0, 8, 16})
            ASSERT_LE(s.Channel(static_cast<int>(i), shift), a) << what << " pixel " << i;
    }
}

constexpr int kSizes[] = {16, 20, 24, 32};

TEST(ToolbarImages, HoldTwentyThreePicturesOfTheRequestedSize) {
    for (int size : kSizes) {
        const UniqueImageList images = CreateToolbarImages(size);
        ASSERT_TRUE(images) << size;
        EXPECT_EQ(ImageList_GetImageCount(images.get()), 23) << size;
        int cx = 0, cy = 0;
        ASSERT_TRUE(ImageList_GetIconSize(images.get(), &cx, &cy));
        EXPECT_EQ(cx, size);
        EXPECT_EQ(cy, size);
    }
}

TEST(ToolbarImages, OnlyTheUsedPlacesHoldDrawings) {
    const std::vector<int> used = {6, 10, 11, 16, 18, 19, 20, 21, 22};
    for (int size : kSizes) {
        const UniqueImageList images = CreateToolbarImages(size);
        ASSERT_TRUE(images);
        for (int i = 0; i < 23; ++i) {
            const Stored s = ReadImage(images.get(), i);
            ASSERT_EQ(s.size, size) << "image " << i;
            const bool isUsed = std::find(used.begin(), used.end(), i) != used.end();
            const int opaque = OpaqueCount(s);
            if (isUsed) {
                // A drawing covers a good part of its box and is not one flat colour.
                EXPECT_GE(opaque, size * size / 6) << "image " << i << " at " << size;
                std::vector<uint32_t> colours;
                for (size_t p = 0; p < s.argb.size(); ++p)
                    if (s.Alpha(static_cast<int>(p)) == 0xFF) colours.push_back(s.argb[p]);
                std::sort(colours.begin(), colours.end());
                EXPECT_GE(std::unique(colours.begin(), colours.end()) - colours.begin(), 2)
                    << "image " << i << " at " << size;
            } else {
                EXPECT_EQ(opaque, 0) << "image " << i << " at " << size;
                EXPECT_TRUE(std::all_of(s.argb.begin(), s.argb.end(), [](uint32_t c) { return c == 0; }))
                    << "image " << i << " at " << size;
                EXPECT_TRUE(std::all_of(s.background.begin(), s.background.end(), [](bool b) { return b; }))
                    << "mask of image " << i << " at " << size;
            }
            ExpectPremultiplied(s, "toolbar");
            // The mask agrees with the alpha where the alpha is sure, so drawing without alpha shows
            // the same shape. (comctl32 may rebuild the mask from the alpha and judge edge pixels
            // its own way.)
            for (size_t p = 0; p < s.argb.size(); ++p) {
                const int a = s.Alpha(static_cast<int>(p));
                if (a == 0 || a == 0xFF) {
                    ASSERT_EQ(s.background[p], a == 0) << "image " << i << " at " << size << " pixel " << p;
                }
            }
        }
    }
}

// Opaque width of the first and the last row that has any: an arrow is narrow at its tip and
// wide at its tail.
std::pair<int, int> EndRowWidths(const Stored& s) {
    std::vector<int> widths;
    for (int y = 0; y < s.size; ++y) {
        int width = 0;
        for (int x = 0; x < s.size; ++x)
            width += s.Alpha(y * s.size + x) >= 0x80;
        if (width > 0) widths.push_back(width);
    }
    if (widths.empty()) return {0, 0};
    return {widths.front(), widths.back()};
}

TEST(ToolbarImages, ArrowsPointTheWayTheirButtonsMove) {
    for (int size : kSizes) {
        const UniqueImageList images = CreateToolbarImages(size);
        ASSERT_TRUE(images);
        const auto [upTop, upBottom] = EndRowWidths(ReadImage(images.get(), ImageArrowUp));
        EXPECT_LT(upTop, upBottom) << "up arrow at " << size;
        const auto [downTop, downBottom] = EndRowWidths(ReadImage(images.get(), ImageArrowDown));
        EXPECT_GT(downTop, downBottom) << "down arrow at " << size;
    }
}

// Chroma of the opaque pixels: the largest difference between two colour channels.
int MaxChroma(const Stored& s) {
    int most = 0;
    for (size_t i = 0; i < s.argb.size(); ++i) {
        if (s.Alpha(static_cast<int>(i)) < 0x80) continue;
        const int r = s.Channel(static_cast<int>(i), 16), g = s.Channel(static_cast<int>(i), 8),
                  b = s.Channel(static_cast<int>(i), 0);
        most = std::max({most, std::abs(r - g), std::abs(g - b), std::abs(r - b)});
    }
    return most;
}

double MeanLuminance(const Stored& s) {
    double sum = 0;
    int n = 0;
    for (size_t i = 0; i < s.argb.size(); ++i) {
        const int a = s.Alpha(static_cast<int>(i));
        if (a < 0x80) continue;
        // Undo the premultiplication to compare like with like.
        sum += (0.299 * s.Channel(static_cast<int>(i), 16) + 0.587 * s.Channel(static_cast<int>(i), 8) +
                0.114 * s.Channel(static_cast<int>(i), 0)) *
               255.0 / a;
        ++n;
    }
    return n ? sum / n : 0;
}

TEST(FloppyImages, OneImagePerButtonStateGreyedOnlyWhenDisabled) {
    for (int size : kSizes) {
        const UniqueImageList images = CreateFloppyImages(size);
        ASSERT_TRUE(images) << size;
        ASSERT_EQ(ImageList_GetImageCount(images.get()), 6) << size;
        int cx = 0, cy = 0;
        ASSERT_TRUE(ImageList_GetIconSize(images.get(), &cx, &cy));
        EXPECT_EQ(cx, size);
        EXPECT_EQ(cy, size);

        const Stored disabled = ReadImage(images.get(), PBS_DISABLED - 1);
        ASSERT_EQ(disabled.size, size);
        EXPECT_GE(OpaqueCount(disabled), size * size / 3) << size;
        EXPECT_LE(MaxChroma(disabled), 2) << "disabled floppy is not grey at " << size;
        ExpectPremultiplied(disabled, "disabled floppy");

        for (int state : {PBS_NORMAL, PBS_HOT, PBS_PRESSED, PBS_DEFAULTED, PBS_DEFAULTED_ANIMATING}) {
            const Stored s = ReadImage(images.get(), state - 1);
            ASSERT_EQ(s.size, size);
            EXPECT_GE(OpaqueCount(s), size * size / 3) << "state " << state;
            EXPECT_GE(MaxChroma(s), 60) << "state " << state << " is not in colour at " << size;
            EXPECT_GT(MeanLuminance(disabled), MeanLuminance(s) + 20) << "state " << state << " at " << size;
            // Same outline in every state: the disabled form differs in colour only.
            EXPECT_EQ(OpaqueCount(s), OpaqueCount(disabled)) << "state " << state;
            ExpectPremultiplied(s, "floppy");
        }
    }
}

TEST(Pictures, RefuseANonsenseSize) {
    EXPECT_FALSE(CreateToolbarImages(0));
    EXPECT_FALSE(CreateFloppyImages(-16));
}

} // namespace
} // namespace tarnwick::win32
