#include "ui/win32/pictures.h"

#include "common/win32/handles.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace tarnwick::win32 {
namespace {

constexpr int ArtSize = 16;
using Art = std::array<const char*, ArtSize>;

// clang-format off
// One small flat palette for every picture, so the set looks like one family. Dark outlines (in a
// dark shade of the hue where there is one) keep the shapes readable on the grey button face.
// Each picture is 16 rows of 16 palette keys.
struct PaletteEntry {
    char key;
    uint32_t argb;
};
constexpr PaletteEntry Palette[] = {
    {'.', 0x00000000}, // transparent
    {'K', 0xFF2E3A46}, // outline
    {'w', 0xFFFFFFFF}, // white
    {'g', 0xFFE3E7EC}, // light grey
    {'G', 0xFFAAB4BF}, // grey
    {'D', 0xFF66727F}, // dark grey
    {'b', 0xFF3A8EDC}, // blue
    {'l', 0xFFA8D2F8}, // light blue
    {'B', 0xFF1C4A80}, // dark blue
    {'r', 0xFFE2493B}, // red
    {'o', 0xFFF59331}, // orange
    {'y', 0xFFFFD24A}, // yellow
    {'n', 0xFF4FB155}, // green
    {'N', 0xFF1D6A2A}, // dark green
};

constexpr Art NewPageArt = {
    "..KKKKKKKK......",
    "..KwwwwwwKK.....",
    "..KwwwwwwKgK....",
    "..KwwwwwwKggK...",
    "..KwwwwwwKKKKK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KwwwwwwwwwwK..",
    "..KKKKKKKKKKKK..",
};

constexpr Art FormWithPointerArt = {
    "KKKKKKKKKKKKKK..",
    "KbbbbbbbbbbbbK..",
    "KbbbbbbbbbbbbK..",
    "KKKKKKKKKKKKKK..",
    "KwwwwwwwwwwwwK..",
    "KwGGGGGwwwwwwK..",
    "KwwwwwwwKwwwwK..",
    "KwGGGGwwKKwwwK..",
    "KwwwwwwwKwKwwK..",
    "KwwwwwwwKwwKwK..",
    "KwwwwwwwKwwwKK..",
    "KKKKKKKKKwwwwK..",
    "........KwwKKKK.",
    "........KwKKwK..",
    "........KK.KwK..",
    "............KK..",
};

constexpr Art WasteBinArt = {
    ".....KKKKK......",
    ".KKKKKgggKKKKK..",
    "KgggggggggggggK.",
    "KKKKKKKKKKKKKKK.",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgGggGggGgK...",
    "..KgggggggggK...",
    "...KKKKKKKKK....",
    "................",
};

constexpr Art ArrowUpArt = {
    "................",
    ".......NN.......",
    "......NnnN......",
    ".....NnnnnN.....",
    "....NnnnnnnN....",
    "...NnnnnnnnnN...",
    "..NnnnnnnnnnnN..",
    ".NnnnnnnnnnnnnN.",
    ".NNNNNnnnnNNNNN.",
    ".....NnnnnN.....",
    ".....NnnnnN.....",
    ".....NnnnnN.....",
    ".....NnnnnN.....",
    ".....NnnnnN.....",
    ".....NNNNNN.....",
    "................",
};

constexpr Art RocketArt = {
    "................",
    "...........KKK..",
    ".........KKrrrK.",
    "........KwwrrrK.",
    ".......KwKKwrrK.",
    "...KKKKwKllKwK..",
    ".KKrrKwwKllKwK..",
    ".KrrKwwwwKKwK...",
    "..KKwwwwwwwK....",
    "...KwwwwwwK.....",
    "...oKwwwwKK.....",
    "..oyyKwwKrK.....",
    "..oyyoKKrrK.....",
    "..ooo..KrK......",
    ".o......KK......",
    "................",
};

constexpr Art HourglassArt = {
    "..KKKKKKKKKKKK..",
    "..KDDDDDDDDDDK..",
    "...KwwwwwwwwK...",
    "...KyyyyyyyyK...",
    "....KyyyyyyK....",
    ".....KyyyyK.....",
    "......KyyK......",
    ".......KK.......",
    "......KwyK......",
    ".....KwwywK.....",
    "....KwwwywwK....",
    "...KwwwyyywwK...",
    "..KwyyyyyyyywK..",
    "..KDDDDDDDDDDK..",
    "..KKKKKKKKKKKK..",
    "................",
};

constexpr Art AlarmClockArt = {
    ".KKK.......KKK..",
    "KrrrK.....KrrrK.",
    "KrrK.KKKKK.KrrK.",
    ".KKKKrrrrrKKKK..",
    "..KrrwwwwwrrK...",
    "..KrwwwKwwwrK...",
    ".KrwwwwKwwwwrK..",
    ".KrwwwwKwwwwrK..",
    ".KrwwwwKKKKwrK..",
    ".KrwwwwwwwwwrK..",
    ".KrwwwwwwwwwrK..",
    "..KrwwwwwwwrK...",
    "..KrrwwwwwrrK...",
    "...KKrrrrrKK....",
    "..KK.KKKKK.KK...",
    "..K.........K...",
};

constexpr Art PromptArt = {
    "................",
    "..KKKKKKKKKKKK..",
    ".KbbbbbbbbbbbbK.",
    "KbbbbbbwwwwbbbbK",
    "KbbbbbwwbbwwbbbK",
    "KbbbbbbbbbwwbbbK",
    "KbbbbbbbbwwbbbbK",
    "KbbbbbbbwwbbbbbK",
    "KbbbbbbbwwbbbbbK",
    "KbbbbbbbbbbbbbbK",
    "KbbbbbbbwwbbbbbK",
    ".KbbbbbbbbbbbbK.",
    "..KKKbbbKKKKKK..",
    "...KbbKK........",
    "..KbKK..........",
    "..KK............",
};

constexpr Art FloppyArt = {
    "................",
    ".BBBBBBBBBBBBB..",
    ".BbbBggggDgBbbB.",
    ".BbbBggggDgBbbB.",
    ".BbbBggggDgBbbB.",
    ".BbbBggggggBbbB.",
    ".BbbbBBBBBBbbbB.",
    ".BbbbbbbbbbbbbB.",
    ".BbBBBBBBBBBBbB.",
    ".BbBwwwwwwwwBbB.",
    ".BbBwGGGGGGwBbB.",
    ".BbBwwwwwwwwBbB.",
    ".BbBwGGGGGGwBbB.",
    ".BbBwwwwwwwwBbB.",
    ".BBBBBBBBBBBBBB.",
    "................",
};
// clang-format on

// A row of the wrong length or a key missing from the palette fails the build, not the picture.
constexpr bool IsWellFormed(const Art& art) {
    for (const char* row : art) {
        int length = 0;
        for (; row[length] != '\0'; ++length) {
            bool known = false;
            for (const PaletteEntry& e : Palette)
                known = known || e.key == row[length];
            if (!known) return false;
        }
        if (length != ArtSize) return false;
    }
    return true;
}
static_assert(IsWellFormed(NewPageArt) && IsWellFormed(FormWithPointerArt) && IsWellFormed(WasteBinArt) &&
              IsWellFormed(ArrowUpArt) && IsWellFormed(RocketArt) && IsWellFormed(AlarmClockArt) &&
              IsWellFormed(PromptArt) && IsWellFormed(FloppyArt));

// Pixels are 0xAARRGGBB, rows from the top, as a 32-bit top-down DIB stores them.
struct Picture {
    int size = 0;
    std::vector<uint32_t> argb;
    uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * size + x]; }
};

uint32_t PaletteColour(char key) {
    for (const PaletteEntry& e : Palette)
        if (e.key == key) return e.argb;
    return 0;
}

Picture Decode(const Art& art) {
    Picture p{ArtSize, std::vector<uint32_t>(ArtSize * ArtSize)};
    for (int y = 0; y < ArtSize; ++y)
        for (int x = 0; x < ArtSize; ++x)
            p.argb[y * ArtSize + x] = PaletteColour(art[y][x]);
    return p;
}

Picture FlipVertically(const Art& art) {
    Picture p = Decode(art);
    for (int y = 0; y < ArtSize / 2; ++y)
        std::swap_ranges(p.argb.begin() + y * ArtSize, p.argb.begin() + (y + 1) * ArtSize,
                         p.argb.begin() + (ArtSize - 1 - y) * ArtSize);
    return p;
}

uint32_t Premultiply(uint32_t c) {
    const uint32_t a = c >> 24;
    auto channel = [&](int shift) { return (((c >> shift) & 0xFF) * a + 127) / 255 << shift; };
    return (a << 24) | channel(16) | channel(8) | channel(0);
}

// The disabled form: the luminance, lifted towards white, so it reads as "not available" on the
// button face and keeps its shape.
uint32_t Greyed(uint32_t c) {
    const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    const uint32_t lum = (r * 299 + g * 587 + b * 114 + 500) / 1000;
    const uint32_t v = lum + (255 - lum) * 2 / 5;
    return (c & 0xFF000000) | (v << 16) | (v << 8) | v;
}

Picture Map(Picture p, uint32_t (*f)(uint32_t)) {
    std::transform(p.argb.begin(), p.argb.end(), p.argb.begin(), f);
    return p;
}

// Whole multiples of the art are drawn pixel for pixel. Other sizes keep the pixel art crisp at the
// largest whole multiple when that still fills four fifths of the box (20 at 125 %, 40 at 250 %),
// and otherwise average the covered art pixels (24 at 150 %), which keeps edges even where
// nearest-neighbour would make some art pixels one and others two pixels wide.
// Takes and returns premultiplied colours, so averaging does not bleed the colour of transparent
// pixels into the edges.
Picture Scale(const Picture& src, int size) {
    const int n = src.size;
    const int whole = size / n;
    if (whole >= 1 && whole * n * 5 >= size * 4) {
        const int offset = (size - whole * n) / 2;
        Picture p{size, std::vector<uint32_t>(static_cast<size_t>(size) * size)};
        for (int y = 0; y < whole * n; ++y)
            for (int x = 0; x < whole * n; ++x)
                p.argb[(y + offset) * size + x + offset] = src.At(x / whole, y / whole);
        return p;
    }
    // Box filter in units of 1/size of an art pixel: destination pixel d covers art span
    // [d * n, (d + 1) * n) in those units.
    Picture p{size, std::vector<uint32_t>(static_cast<size_t>(size) * size)};
    auto overlap = [&](int d, int s) {
        const int lo = std::max(d * n, s * size), hi = std::min((d + 1) * n, (s + 1) * size);
        return std::max(0, hi - lo);
    };
    for (int dy = 0; dy < size; ++dy) {
        for (int dx = 0; dx < size; ++dx) {
            uint64_t sum[4] = {};
            uint64_t total = 0;
            for (int sy = dy * n / size; sy <= std::min(n - 1, ((dy + 1) * n - 1) / size); ++sy) {
                const int wy = overlap(dy, sy);
                for (int sx = dx * n / size; sx <= std::min(n - 1, ((dx + 1) * n - 1) / size); ++sx) {
                    const uint64_t w = static_cast<uint64_t>(wy) * overlap(dx, sx);
                    const uint32_t c = src.At(sx, sy);
                    for (int k = 0; k < 4; ++k)
                        sum[k] += ((c >> (8 * k)) & 0xFF) * w;
                    total += w;
                }
            }
            uint32_t c = 0;
            for (int k = 0; k < 4; ++k)
                c |= static_cast<uint32_t>((sum[k] + total / 2) / total) << (8 * k);
            p.argb[dy * size + dx] = c;
        }
    }
    return p;
}

// Adds one premultiplied picture. The colour bitmap carries the alpha that comctl32 6 blends with;
// the mask serves the drawing paths that ignore alpha (older comctl32, ILD_MASK), where a pixel at
// least half covered counts as opaque.
bool AddPicture(HIMAGELIST list, const Picture& p) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.size;
    bi.bmiHeader.biHeight = -p.size; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject colour(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!colour || !bits) return false;
    std::copy(p.argb.begin(), p.argb.end(), static_cast<uint32_t*>(bits));

    // Monochrome rows are padded to 16 bits; a set bit is background.
    const int stride = (p.size + 15) / 16 * 2;
    std::vector<BYTE> maskBits(static_cast<size_t>(stride) * p.size, 0);
    for (int y = 0; y < p.size; ++y)
        for (int x = 0; x < p.size; ++x)
            if ((p.At(x, y) >> 24) < 0x80) maskBits[y * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    UniqueGdiObject mask(CreateBitmap(p.size, p.size, 1, 1, maskBits.data()));
    if (!mask) return false;

    GdiFlush();
    return ImageList_Add(list, static_cast<HBITMAP>(colour.get()), static_cast<HBITMAP>(mask.get())) >= 0;
}

UniqueImageList BuildList(int size, const std::vector<Picture>& pictures) {
    if (size <= 0) return {};
    UniqueImageList list(
        ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(pictures.size()), 0));
    if (!list) return {};
    for (const Picture& p : pictures)
        if (!AddPicture(list.get(), Scale(p, size))) return {};
    return list;
}

} // namespace

UniqueImageList CreateToolbarImages(int size) {
    // The toolbar indexes a stock set of common symbols; only these places are drawn.
    std::vector<Picture> pictures(ToolbarImageCount,
                                  Picture{ArtSize, std::vector<uint32_t>(ArtSize * ArtSize)});
    pictures[ImageNewPage] = Decode(NewPageArt);
    pictures[ImageRunningVms] = Decode(FormWithPointerArt);
    pictures[ImageWasteBin] = Decode(WasteBinArt);
    pictures[ImageArrowUp] = Decode(ArrowUpArt);
    pictures[ImageArrowDown] = FlipVertically(ArrowUpArt);
    pictures[ImageRocket] = Decode(RocketArt);
    pictures[ImageAlarmClock] = Decode(AlarmClockArt);
    pictures[ImageHourglass] = Decode(HourglassArt);
    pictures[ImagePrompt] = Decode(PromptArt);
    for (Picture& p : pictures)
        p = Map(std::move(p), Premultiply);
    return BuildList(size, pictures);
}

UniqueImageList CreateFloppyImages(int size) {
    const Picture colour = Map(Decode(FloppyArt), Premultiply);
    std::vector<Picture> pictures(FloppyImageCount, colour);
    pictures[FloppyDisabledIndex] = Map(Map(Decode(FloppyArt), Greyed), Premultiply);
    return BuildList(size, pictures);
}

} // namespace tarnwick::win32
