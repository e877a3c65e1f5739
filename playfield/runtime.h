// The form runtime's services: caption <-> number, Int, rounding, 16-bit limits, boxes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace farvane {

// A caption read as a decimal number. Text that holds no number reads as 0, as the runtime's
// own conversion of an empty caption does; the game only ever writes numbers there.
double CaptionToNumber(std::string_view caption);

// Writes `value` as caption text into `caption`, reusing its storage (no allocation for scores):
// whole numbers in plain decimal digits with every digit kept, anything else in the shortest form
// that reads back to the same value.
void SetCaptionNumber(std::string& caption, double value);

// The largest whole number not above `value`, stored in a 16-bit Integer (saturating).
std::int16_t Int(double value);

// To the nearest integer, ties to the even neighbour, saturating at the type's limits.
std::int16_t RoundToInt16(double value);
std::int32_t roundFractionToInt32(double value); // RoundToInt32 past its inline whole-number path

// Every box side the collision checks round is already whole: those stay inline, in the tick.
inline std::int32_t RoundToInt32(double value)
{
    if (value > -2147483648.0 && value < 2147483647.0) {
        const auto whole = static_cast<std::int32_t>(value);
        if (static_cast<double>(whole) == value)
            return whole;
    }
    return roundFractionToInt32(value);
}

// 16-bit arithmetic for the module variables: a result beyond -32768..32767 stays at the limit,
// so the game goes on where the original runtime would have raised an overflow.
std::int16_t Clamp16(std::int32_t value);
inline std::int16_t Add16(std::int16_t a, std::int32_t b) { return Clamp16(a + b); }

// A box of four 32-bit integers in twips, y down.
struct Box {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Fills `dest` with the overlap of `a` and `b` and returns nonzero when it is not empty.
// Boxes that only share an edge do not intersect; `dest` is then all zeros.
// Inline: the collision checks call it six times a tick.
inline int IntersectRect(Box& dest, const Box& a, const Box& b)
{
    const Box overlap{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                      std::min(a.bottom, b.bottom)};
    if (overlap.left < overlap.right && overlap.top < overlap.bottom) {
        dest = overlap;
        return 1;
    }
    dest = Box{};
    return 0;
}

} // namespace farvane
