// The rasterizer's pixels: road edges, outlines, joining lines, labels, stacking, clipping and
// device pixel ratios.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "picture/raster.h"
#include "playfield/scene.h"

using namespace farvane;

namespace {

using Rgb = std::uint32_t; // 0xRRGGBB

constexpr Rgb TealRgb = 0x00C0C0;
constexpr Rgb GreenRgb = 0x00C000;
constexpr Rgb DarkRedRgb = 0xC00000;
constexpr Rgb BrownRgb = 0x804000;
constexpr Rgb BlackRgb = 0x000000;
constexpr Rgb WhiteRgb = 0xFFFFFF;
constexpr Rgb BlueRgb = 0x0000FF;

const std::string HelpText = "Use the Left and Right arrow keys to avoid running into the falling obstacles.";

// A rectangle of pixels, both corners included.
struct Area {
    int left, top, right, bottom;
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// The label boxes in pixels, as their twips give them.
constexpr Area ShieldBox{8, 8, 64, 24};
constexpr Area ScoreBox{264, 8, 432, 24};
constexpr Area High1Box{264, 32, 344, 48};
constexpr Area HighBox{344, 32, 432, 48};
constexpr Area ReadyBox{104, 176, 344, 312};

// A frame drawn whole, read as 0xRRGGBB whatever its pixel order.
struct Picture {
    FrameBuffer frame;

    explicit Picture(const Scene& scene, double ratio = 1.0, PixelOrder order = PixelOrder::Argb32)
        : frame(ratio, order)
    {
        rasterize(scene, frame);
    }
    int width() const { return frame.width(); }
    int height() const { return frame.height(); }
    Rgb at(int x, int y) const
    {
        const std::uint32_t p = frame.pixels()[y * frame.stride() + x];
        if (frame.order() == PixelOrder::Argb32)
            return p & 0xFFFFFFu;
        unsigned char bytes[4];
        std::memcpy(bytes, &p, sizeof bytes);
        return Rgb(bytes[0]) << 16 | Rgb(bytes[1]) << 8 | bytes[2];
    }
    int count(const Area& area, const std::function<bool(Rgb)>& wanted) const
    {
        int n = 0;
        for (int y = area.top; y <= area.bottom; ++y)
            for (int x = area.left; x <= area.right; ++x)
                n += wanted(at(x, y)) ? 1 : 0;
        return n;
    }
    int count(Rgb colour, const Area& area) const
    {
        return count(area, [&](Rgb p) { return p == colour; });
    }
    int count(Rgb colour) const { return count(colour, Area{0, 0, width() - 1, height() - 1}); }
};

// Text is drawn in white with grey antialiased edges: any grey other than black.
bool isTextGrey(Rgb p)
{
    const Rgb r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return r == g && g == b && r > 0;
}

std::string hex(Rgb p)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", p);
    return text;
}

struct Probe {
    int x, y;
    Rgb colour;
};

} // namespace

// Where an element's pixels lie: outline sides on Left and Left + Width - 15, positions rounded
// down, stacking where elements overlap.
TEST(Raster, ElementsDrawOnThePixelsTheirTwipsGive)
{
    struct Row {
        const char* what;
        std::function<void(Scene&)> setup;
        std::vector<Probe> probes;
    };
    const Row rows[] = {
        {"the start road edges reach their ends",
         [](Scene&) {},
         {{256, 88, GreenRgb}, {440, 208, GreenRgb}, {192, 88, GreenRgb}, {0, 208, GreenRgb}}},
        {"an outline lies on Left and Left + Width - 15, one pixel wide",
         [](Scene& s) { s.BigObstacle[0].Visible = true; }, // pixels 200..216, 72..104
         {{200, 90, BrownRgb},
          {216, 90, BrownRgb},
          {217, 90, BlackRgb},
          {208, 72, BrownRgb},
          {208, 104, BrownRgb},
          {208, 105, BlackRgb},
          {201, 90, BlackRgb}}},
        {"positions round down also left of and above the window",
         [](Scene& s) {
             s.BigObstacle[0].Visible = true;
             s.BigObstacle[0].Left = -10; // pixel -1: the left and top sides lie outside
             s.BigObstacle[0].Top = -10;
         },
         {{0, 10, BlackRgb}, {5, 0, BlackRgb}, {15, 10, BrownRgb}, {5, 31, BrownRgb}}},
        {"a small obstacle has a two-pixel outline inside its box",
         [](Scene& s) { s.Obstacle[0].Visible = true; }, // pixels 192..208, 72..104
         {{192, 90, DarkRedRgb},
          {193, 90, DarkRedRgb},
          {194, 90, BlackRgb},
          {208, 90, DarkRedRgb},
          {207, 90, DarkRedRgb},
          {206, 90, BlackRgb},
          {209, 90, BlackRgb},
          {200, 73, DarkRedRgb},
          {200, 74, BlackRgb},
          {200, 103, DarkRedRgb}}},
        {"a big obstacle is drawn over a small one",
         [](Scene& s) {
             s.Obstacle[0].Visible = true;
             s.BigObstacle[1].Visible = true;
             s.BigObstacle[1].Left = s.Obstacle[0].Left;
         },
         {{192, 90, BrownRgb}, {193, 90, DarkRedRgb}, {208, 104, BrownRgb}}},
        {"the high score's desktop background is black and hides an obstacle",
         [](Scene& s) {
             s.lblHigh.Caption = "1234";
             s.Obstacle[0].Visible = true;
             s.Obstacle[0].Left = 5160;
             s.Obstacle[0].Top = 480;
         },
         {{380, 45, BlackRgb}}},
        {"an opaque label fills its box with its BackColor",
         [](Scene& s) { s.lblShield.BackColor = 0x00FF0000; },
         {{8, 24, BlueRgb}, {64, 8, BlueRgb}, {65, 8, BlackRgb}}},
    };
    for (const Row& row : rows) {
        Scene scene;
        row.setup(scene);
        const Picture picture(scene);
        for (const Probe& p : row.probes)
            EXPECT_EQ(hex(picture.at(p.x, p.y)), hex(p.colour)) << row.what << ": pixel (" << p.x << ", " << p.y << ")";
    }
}

// How many pixels of a colour show: nothing drawn twice, cut off or left out.
TEST(Raster, EachElementDrawsItsPixelsAndNoMore)
{
    struct Row {
        const char* what;
        std::function<void(Scene&)> setup;
        Rgb colour;
        Area area;
        int pixels;
    };
    constexpr Area Whole{0, 0, ClientWidth - 1, ClientHeight - 1};
    const Row rows[] = {
        // One pixel a column along each visible road edge, both ends included, no other edge.
        {"the start road edges", [](Scene&) {}, GreenRgb, Whole, (440 - 256 + 1) + (192 - 0 + 1)},
        {"no small obstacle at start", [](Scene&) {}, DarkRedRgb, Whole, 0},
        {"no big obstacle at start", [](Scene&) {}, BrownRgb, Whole, 0},
        // Three icons of two 17-pixel squares (64 pixels each, 2 shared) and four 7-pixel inner
        // diagonals (their ends lie on the squares).
        {"the shield icons", [](Scene&) {}, TealRgb, Area{0, 0, 440, 40}, 3 * (64 + 64 - 2 + 4 * 7)},
        {"an obstacle's outline", [](Scene& s) { s.BigObstacle[0].Visible = true; }, BrownRgb, Whole,
         2 * 17 + 2 * (33 - 2)},
        {"obstacles far away",
         [](Scene& s) {
             s.BigObstacle[0].Visible = true;
             s.BigObstacle[0].Left = 3.0e9f;
             s.BigObstacle[1].Visible = true;
             s.BigObstacle[1].Left = -3.0e9f;
             s.BigObstacle[1].Width = 1.0e9f;
         },
         BrownRgb, Whole, 0},
        {"an obstacle under the high score's background",
         [](Scene& s) {
             s.lblHigh.Caption = "1234";
             s.Obstacle[0].Visible = true;
             s.Obstacle[0].Left = 5160;
             s.Obstacle[0].Top = 480;
         },
         DarkRedRgb, HighBox, 0},
    };
    for (const Row& row : rows) {
        Scene scene;
        row.setup(scene);
        EXPECT_EQ(Picture(scene).count(row.colour, row.area), row.pixels) << row.what;
    }
}

TEST(Raster, JoiningLinesMeetTheRectanglesCornerPixels)
{
    struct Point {
        int x, y;
    };
    const Picture picture{Scene()};
    std::vector<Probe> probes;
    // Player1's corners, then Player6's, and the black just past Player1's right and bottom sides.
    for (const Point p :
         {Point{192, 384}, {256, 384}, {192, 408}, {256, 408}, {200, 376}, {248, 376}, {200, 392}, {248, 392}})
        probes.push_back({p.x, p.y, TealRgb});
    probes.push_back({257, 396, BlackRgb});
    probes.push_back({224, 409, BlackRgb});
    for (int k = 0; k <= 8; ++k) { // Player4 and Player5, diagonal from Player1's top corners to Player6's
        probes.push_back({256 - k, 384 - k, TealRgb});
        probes.push_back({192 + k, 384 - k, TealRgb});
    }
    for (int k = 0; k <= 16; ++k) { // Player3 and Player2 climb two rows a column
        probes.push_back({192 + (k + 1) / 2, 408 - k, TealRgb});
        probes.push_back({256 - (k + 1) / 2, 408 - k, TealRgb});
    }
    for (int n = 0; n < 3; ++n) { // each shield icon: Shieldb (72, 8)..(88, 24), Shielda (80, 16)..(96, 32)
        const int dx = 32 * n;
        for (const Point p : {Point{72, 8}, {88, 8}, {72, 24}, {88, 24}, {80, 16}, {96, 16}, {80, 32}, {96, 32}})
            probes.push_back({p.x + dx, p.y, TealRgb});
        for (int k = 0; k <= 8; ++k)
            for (const Point p : {Point{72, 8}, {88, 8}, {72, 24}, {88, 24}}) // Shieldf, e, c, d
                probes.push_back({p.x + dx + k, p.y + k, TealRgb});
        probes.push_back({97 + dx, 24, BlackRgb});
    }
    for (const Probe& p : probes)
        EXPECT_EQ(hex(picture.at(p.x, p.y)), hex(p.colour)) << "pixel (" << p.x << ", " << p.y << ")";
}

TEST(Raster, StartCaptionsAreTextInsideTheirBoxesAndNowhereElse)
{
    const Picture picture{Scene()};
    for (const Area& box : {ShieldBox, ScoreBox, High1Box})
        EXPECT_GT(picture.count(box, [](Rgb p) { return isTextGrey(p) && (p & 0xFF) >= 160; }), 8)
            << "box at " << box.left << ", " << box.top;
    // "0" stays in the score's first cell.
    EXPECT_EQ(
        picture.count(Area{ScoreBox.left + 10, ScoreBox.top + 1, ScoreBox.right - 1, ScoreBox.bottom - 1}, isTextGrey),
        0);
    const Area boxes[] = {ShieldBox, ScoreBox, High1Box, HighBox};
    int outside = 0;
    for (int y = 0; y < ClientHeight; ++y)
        for (int x = 0; x < ClientWidth; ++x) {
            const bool inBox =
                std::any_of(std::begin(boxes), std::end(boxes), [&](const Area& box) { return box.contains(x, y); });
            outside += !inBox && isTextGrey(picture.at(x, y));
        }
    EXPECT_EQ(outside, 0);
}

TEST(Raster, FramedLabelsGetAThinGreyFrameOnTheirBox)
{
    const Picture picture{Scene()};
    const Rgb frame = picture.at(ScoreBox.left, ScoreBox.top);
    EXPECT_TRUE(isTextGrey(frame) && frame != WhiteRgb) << hex(frame);
    EXPECT_EQ(picture.at(ScoreBox.right, ScoreBox.bottom), frame);
    EXPECT_EQ(picture.at(ScoreBox.right + 1, ScoreBox.bottom), BlackRgb);
    EXPECT_EQ(picture.at(ScoreBox.left + 100, ScoreBox.top + 1), BlackRgb);
    EXPECT_EQ(picture.at(HighBox.right, HighBox.top), frame);
}

TEST(Raster, TheMessageIsTransparentAndLiesOverSmallObstacles)
{
    Scene scene;
    scene.lblReady.Caption = "Ready"; // cells 12..16 of 30: pixels 200..239, rows 176..191
    scene.Obstacle[0].Visible = true;
    scene.Obstacle[0].Left = 2955; // pixels 197..213
    scene.Obstacle[0].Top = 2640;  // rows 176..208: the top ring crosses the text
    const Area crossing{200, 176, 213, 191};
    const Picture picture(scene);
    EXPECT_GT(picture.count(WhiteRgb, crossing), 0);
    EXPECT_GT(picture.count(DarkRedRgb, crossing), 0);
    EXPECT_EQ(picture.at(197, 176), DarkRedRgb);
    EXPECT_EQ(picture.at(198, 200), DarkRedRgb);
    // The road edge behind the text still shows.
    scene.lblReady.Caption = HelpText;
    EXPECT_EQ(Picture(scene).count(GreenRgb), Picture(Scene()).count(GreenRgb));
}

// Centred lines sit on whole 8-pixel cells, a long caption wraps at spaces, and each line's ink
// reaches into its first and last cell and no further.
TEST(Raster, MessageLinesAreCentredOnWholeCells)
{
    constexpr int CellWidthTolerance = 8;
    struct Span {
        int left, right; // pixels; right < 0 for no line
    };
    struct Row {
        std::string caption;
        std::vector<Span> lines;
    };
    const Row rows[] = {
        {"Go!", {{208, 231}, {0, -1}}}, // (30 - 3) / 2 = 13 cells in
        // "Use the Left and Right arrow" (28 cells), "keys to avoid running into the" (30) and
        // "falling obstacles." (18); no fourth line.
        {HelpText, {{112, 335}, {104, 343}, {152, 295}, {0, -1}}},
    };
    for (const Row& row : rows) {
        Scene scene;
        scene.lblReady.Caption = row.caption;
        const Picture picture(scene);
        for (std::size_t line = 0; line < row.lines.size(); ++line) {
            int left = ClientWidth, right = -1;
            const int top = ReadyBox.top + 16 * static_cast<int>(line);
            for (int y = top; y < top + 16; ++y)
                for (int x = 0; x < ClientWidth; ++x)
                    if (isTextGrey(picture.at(x, y))) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
            const Span& want = row.lines[line];
            if (want.right < 0) {
                EXPECT_LT(right, 0) << row.caption << ": a line too many";
                continue;
            }
            EXPECT_TRUE(left >= want.left && left < want.left + CellWidthTolerance && right <= want.right &&
                        right > want.right - CellWidthTolerance)
                << row.caption << ": line " << line << " spans " << left << ".." << right << ", its cells " << want.left
                << ".." << want.right;
        }
    }
}

// A clipped rasterize leaves the pixels inside the clip exactly as a full one does, the rest
// untouched, at every ratio and in both pixel orders; both orders show the same colours.
TEST(Raster, AClippedFrameMatchesTheFullOneInsideTheClip)
{
    Scene scene;
    scene.Obstacle[2].Visible = true;
    scene.lblReady.Caption = HelpText;
    const PixelRect clips[] = {{0, 0, 441, 425}, {100, 170, 60, 33}, {-5, -5, 20, 500}, {263, 7, 1, 1}};
    constexpr std::uint32_t Untouched = 0x12345678u;
    for (const double ratio : {1.0, 1.5, 2.0}) {
        for (const PixelOrder order : {PixelOrder::Argb32, PixelOrder::Rgba8888}) {
            const Picture full(scene, ratio, order);
            for (const PixelRect& clip : clips) {
                FrameBuffer part(ratio, order);
                std::fill_n(part.pixels(), part.stride() * part.height(), Untouched);
                rasterize(scene, part, clip);
                const PixelRect device = part.deviceRect(clip);
                const Area inside{device.x, device.y, device.x + device.width - 1, device.y + device.height - 1};
                int wrong = 0;
                for (int y = 0; y < part.height(); ++y)
                    for (int x = 0; x < part.width(); ++x) {
                        const std::uint32_t want =
                            inside.contains(x, y) ? full.frame.pixels()[y * full.frame.stride() + x] : Untouched;
                        wrong += part.pixels()[y * part.stride() + x] != want;
                    }
                EXPECT_EQ(wrong, 0) << "ratio " << ratio << ", clip at (" << clip.x << ", " << clip.y << ")";
            }
        }
        const Picture argb(scene, ratio, PixelOrder::Argb32);
        const Picture rgba(scene, ratio, PixelOrder::Rgba8888);
        int differ = 0;
        for (int y = 0; y < argb.height(); ++y)
            for (int x = 0; x < argb.width(); ++x)
                differ += argb.at(x, y) != rgba.at(x, y);
        EXPECT_EQ(differ, 0) << "ratio " << ratio;
    }
}

TEST(Raster, RatioTwoDoublesEveryPixelAndDrawsTheTextAtItsOwnResolution)
{
    Scene scene;
    scene.Obstacle[2].Visible = true;
    scene.lblReady.Caption = HelpText;
    const Picture single(scene, 1);
    const Picture twice(scene, 2);
    ASSERT_EQ(twice.width(), 882);
    ASSERT_EQ(twice.height(), 850);
    const Area labels[] = {ShieldBox, ScoreBox, High1Box, HighBox, ReadyBox};
    int differ = 0;
    for (int y = 0; y < ClientHeight; ++y)
        for (int x = 0; x < ClientWidth; ++x) {
            if (std::any_of(std::begin(labels), std::end(labels), [&](const Area& a) { return a.contains(x, y); }))
                continue;
            for (int d = 0; d < 4; ++d)
                differ += twice.at(2 * x + d % 2, 2 * y + d / 2) != single.at(x, y);
        }
    EXPECT_EQ(differ, 0);
    // Text is not blown up from single pixels: some 2 by 2 blocks hold more than one value.
    int splitBlocks = 0;
    for (int y = ShieldBox.top; y <= ShieldBox.bottom; ++y)
        for (int x = ShieldBox.left; x <= ShieldBox.right; ++x) {
            const Rgb p = twice.at(2 * x, 2 * y);
            splitBlocks += twice.at(2 * x + 1, 2 * y) != p || twice.at(2 * x, 2 * y + 1) != p ||
                           twice.at(2 * x + 1, 2 * y + 1) != p;
        }
    EXPECT_GT(splitBlocks, 20);
}

// At 1.5 every logical pixel is the same 2 by 2 block: each part of the vehicle and of a shield
// icon, drawn alone, is nowhere thinner than 2 device pixels across.
TEST(Raster, RatioOneAndAHalfDrawsEveryOutlineAndLineAtOneWeight)
{
    const auto parts = [](Scene& s) {
        return std::vector<bool*>{&s.Player1.Visible,    &s.Player2.Visible,    &s.Player3.Visible,
                                  &s.Player4.Visible,    &s.Player5.Visible,    &s.Player6.Visible,
                                  &s.Shielda[0].Visible, &s.Shieldb[0].Visible, &s.Shieldc[0].Visible,
                                  &s.Shieldd[0].Visible, &s.Shielde[0].Visible, &s.Shieldf[0].Visible};
    };
    for (std::size_t n = 0; n < 12; ++n) { // the vehicle's six pieces, then the first shield icon's
        Scene scene;
        for (bool* visible : parts(scene))
            *visible = false;
        *parts(scene)[n] = true;
        const Picture picture(scene, 1.5);
        // The vehicle and the first shield icon lie inside these device pixels, nothing else teal.
        const Area area = n < 6 ? Area{280, 550, 399, 624} : Area{100, 0, 151, 59};
        int thinnest = INT_MAX, pixels = 0;
        const auto run = [&](int length) {
            if (length > 0)
                thinnest = std::min(thinnest, length);
        };
        for (int y = area.top; y <= area.bottom; ++y) {
            int length = 0;
            for (int x = area.left; x <= area.right + 1; ++x) {
                const bool ink = x <= area.right && picture.at(x, y) == TealRgb;
                pixels += ink;
                length = ink ? length + 1 : (run(length), 0);
            }
        }
        for (int x = area.left; x <= area.right; ++x) {
            int length = 0;
            for (int y = area.top; y <= area.bottom + 1; ++y) {
                const bool ink = y <= area.bottom && picture.at(x, y) == TealRgb;
                length = ink ? length + 1 : (run(length), 0);
            }
        }
        EXPECT_TRUE(pixels > 0 && thinnest == 2) << "part " << n << ": thinnest stroke " << thinnest;
    }
}
