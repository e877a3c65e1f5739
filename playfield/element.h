// The kinds of scene element the form is built from, with the properties the game reads and sets.
#pragma once

#include <cstdint>
#include <string>

namespace farvane {

// A colour as the form stores it: &H00BBGGRR, blue in the high byte, red in the low byte.
// Values with the top bit set name a desktop colour instead (see SystemMenuText).
using Colour = std::uint32_t;

constexpr Colour Black = 0x00000000;
constexpr Colour White = 0x00FFFFFF;
constexpr Colour Teal = 0x00C0C000;
constexpr Colour DarkRed = 0x000000C0;
constexpr Colour Brown = 0x00004080;
constexpr Colour Green = 0x0000C000;
constexpr Colour Red = 0x000000FF;
constexpr Colour SystemMenuText = 0x80000007;

constexpr int TwipsPerPixel = 15;

// An unfilled rectangle, outlined in BorderColor. Positions are Singles in twips, y down.
struct Shape {
    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
    Colour BorderColor = Black;
    bool Visible = true;
    int BorderWidth = 1; // pixels; the small obstacles are drawn 2 thick, inside their box
};

// A straight line between two points in twips, one pixel wide.
struct Line {
    float X1 = 0;
    float Y1 = 0;
    float X2 = 0;
    float Y2 = 0;
    Colour BorderColor = Black;
    bool Visible = true;
};

enum class Alignment : std::uint8_t { Left, Centre };

// A text label. The text starts at the top edge and wraps at spaces when wider than the label.
struct Label {
    std::string Caption;
    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
    Colour ForeColor = White;
    Colour BackColor = Black;
    bool Opaque = true;  // false: only the text is painted, what lies behind shows through
    bool Framed = false; // a thin frame around the label
    Alignment Align = Alignment::Left;
};

// A timer is data only: the host raises its ticks while it is enabled.
struct Timer {
    bool Enabled = false;
    int Interval = 0; // milliseconds
};

struct MenuEntry {
    std::string Caption;
    bool Enabled = true;
};

} // namespace farvane
