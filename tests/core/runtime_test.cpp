// The runtime services: rounding, Int, caption conversions, box overlap, 16-bit limits, Rnd.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "game/form.h"
#include "playfield/numbertext.h"
#include "playfield/rnd.h"
#include "playfield/runtime.h"

using namespace farvane;

TEST(Runtime, RoundingTiesGoToTheEvenNeighbour)
{
    struct Row {
        double value;
        std::int32_t expected;
    };
    const Row rows[] = {{0.5, 0},  {1.5, 2},  {2.5, 2},    {3.5, 4}, {-0.5, 0},  {-1.5, -2},     {-2.5, -2},
                        {0.49, 0}, {0.51, 1}, {-0.51, -1}, {2.0, 2}, {-3.0, -3}, {5639.5, 5640}, {5640.5, 5640}};
    for (const Row& row : rows) {
        EXPECT_EQ(RoundToInt16(row.value), row.expected) << "16-bit, value " << row.value;
        EXPECT_EQ(RoundToInt32(row.value), row.expected) << "32-bit, value " << row.value;
    }
}

TEST(Runtime, RoundingStaysAtTheTypeLimits)
{
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_EQ(RoundToInt16(40000.0), 32767);
    EXPECT_EQ(RoundToInt16(-40000.0), -32768);
    EXPECT_EQ(RoundToInt32(70000.5), 70000);
    EXPECT_EQ(RoundToInt32(1e12), 2147483647);
}

TEST(Runtime, IntFloorsTowardsMinusInfinity)
{
    struct Row {
        double value;
        std::int16_t expected;
    };
    const Row rows[] = {{-0.4, -1}, {-250.0, -250}, {249.99, 249}, {-249.99, -250},
                        {0.0, 0},   {0.99, 0},      {-1.0, -1},    {3599.9, 3599}};
    for (const Row& row : rows)
        EXPECT_EQ(Int(row.value), row.expected) << "value " << row.value;
}

// The 16-bit range has a path of its own; its edges and what lies just past them.
TEST(Runtime, IntFloorsAtTheSixteenBitLimits)
{
    struct Row {
        double value;
        std::int16_t expected;
    };
    const Row rows[] = {{-32768.0, -32768}, {-32767.5, -32768}, {-32768.5, -32768}, {-1e9, -32768},
                        {32767.0, 32767},   {32767.9, 32767},   {32768.0, 32767},   {1e9, 32767},
                        {-0.0, 0},          {-1e-300, -1},      {std::nan(""), 0}};
    for (const Row& row : rows)
        EXPECT_EQ(Int(row.value), row.expected) << "value " << row.value;
}

TEST(Runtime, CaptionsReadAsNumbers)
{
    EXPECT_EQ(CaptionToNumber("0"), 0.0);
    EXPECT_EQ(CaptionToNumber("805"), 805.0);
    EXPECT_EQ(CaptionToNumber("1083546"), 1083546.0);
    EXPECT_EQ(CaptionToNumber("9007199254740992"), 9007199254740992.0);
    EXPECT_EQ(CaptionToNumber("-15"), -15.0);
    EXPECT_EQ(CaptionToNumber(""), 0.0);
}

// Plain digits take a short path of their own; every caption must still read as the general
// parser reads it, at the path's digit limit and past it, and with text after the digits.
TEST(Runtime, DigitCaptionsReadAsTheGeneralParserReadsThem)
{
    const char* const captions[] = {"7",
                                    "007",
                                    "2400",
                                    "999999999999999",
                                    "1000000000000000",
                                    "9007199254740993",
                                    "99999999999999999999",
                                    "12a",
                                    " 42",
                                    "4 2",
                                    "1e3",
                                    "0.5",
                                    "-0"};
    for (const char* caption : captions) {
        std::string_view text = caption;
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        double expected = 0;
        parseDouble(text.data(), text.data() + text.size(), expected); // std::from_chars where the library has it
        EXPECT_EQ(CaptionToNumber(caption), expected) << "caption \"" << caption << "\"";
        EXPECT_EQ(std::signbit(CaptionToNumber(caption)), std::signbit(expected)) << "caption \"" << caption << "\"";
    }
}

// Whole numbers take an inline path; those at and next to the 32-bit limits must agree with it.
TEST(Runtime, WholeNumbersAtThe32BitLimitsRoundToThemselvesOrTheLimit)
{
    EXPECT_EQ(RoundToInt32(2147483646.0), 2147483646);
    EXPECT_EQ(RoundToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(RoundToInt32(2147483648.0), 2147483647);
    EXPECT_EQ(RoundToInt32(-2147483647.0), -2147483647);
    EXPECT_EQ(RoundToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_EQ(RoundToInt32(-2147483649.0), -2147483647 - 1);
    EXPECT_EQ(RoundToInt32(std::nan("")), 0);
    EXPECT_EQ(RoundToInt32(-2147483647.5), -2147483647 - 1);
}

static std::string NumberToCaption(double value)
{
    std::string caption;
    SetCaptionNumber(caption, value);
    return caption;
}

TEST(Runtime, NumbersBecomeCaptionsWithEveryDigit)
{
    EXPECT_EQ(NumberToCaption(0), "0");
    EXPECT_EQ(NumberToCaption(-0.0), "0");
    EXPECT_EQ(NumberToCaption(5), "5");
    EXPECT_EQ(NumberToCaption(-720), "-720");
    EXPECT_EQ(NumberToCaption(1083546), "1083546");
    EXPECT_EQ(NumberToCaption(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberToCaption(9007199254740992.0), "9007199254740992");
    EXPECT_EQ(NumberToCaption(2.5), "2.5");
}

TEST(Runtime, CaptionRoundTripKeepsTheNumber)
{
    for (const double value : {0.0, 1.0, 801.0, 2906.0, 1083546.0, 4294967296.0, 123456789012345.0})
        EXPECT_EQ(CaptionToNumber(NumberToCaption(value)), value) << value;
}

// The same number of characters is written over in place; any other length is replaced whole.
TEST(Runtime, SetCaptionNumberWritesOverACaptionOfTheSameLength)
{
    std::string caption = "999";
    SetCaptionNumber(caption, 100);
    EXPECT_EQ(caption, "100");
    SetCaptionNumber(caption, -2.5);
    EXPECT_EQ(caption, "-2.5");
    SetCaptionNumber(caption, 1234567890123456789.0);
    EXPECT_EQ(caption, "1234567890123456768");
    SetCaptionNumber(caption, 7);
    EXPECT_EQ(caption, "7");
}

// Against the player's box: sides that only touch do not intersect (and leave `dest` all zeros),
// an overlap of one twip does, and a contained box is its own intersection.
TEST(Runtime, BoxesIntersectOnlyWhereTheyOverlap)
{
    constexpr Box Player{2880, 5640, 3855, 6135};
    struct Row {
        const char* what;
        Box a, b;
        Box overlap; // all zeros: none
    };
    const Row rows[] = {
        {"bottom on the player's top", Player, {3000, 5145, 3255, 5640}, {}},
        {"right side on the player's left", Player, {2625, 5700, 2880, 6000}, {}},
        {"left side on the player's right", Player, {3855, 5700, 4110, 6000}, {}},
        {"top on the player's bottom", Player, {3000, 6135, 3255, 6500}, {}},
        {"only a corner", Player, {2625, 5145, 2880, 5640}, {}},
        {"one twip over the top", Player, {3000, 5146, 3255, 5641}, {3000, 5640, 3255, 5641}},
        {"one twip over the left side", Player, {2626, 5700, 2881, 6000}, {2880, 5700, 2881, 6000}},
        {"one twip over the right side", Player, {3854, 5700, 4109, 6000}, {3854, 5700, 3855, 6000}},
        {"the player inside the client area", {0, 0, 6615, 6375}, Player, Player},
    };
    for (const Row& row : rows) {
        Box dest{1, 2, 3, 4};
        const bool none = row.overlap.right == 0;
        EXPECT_EQ(IntersectRect(dest, row.a, row.b) != 0, !none) << row.what;
        EXPECT_TRUE(dest.left == row.overlap.left && dest.top == row.overlap.top && dest.right == row.overlap.right &&
                    dest.bottom == row.overlap.bottom)
            << row.what << ": " << dest.left << ", " << dest.top << ", " << dest.right << ", " << dest.bottom;
    }
}

TEST(Runtime, ClampKeepsSixteenBitValuesAtTheLimits)
{
    EXPECT_EQ(Clamp16(32767), 32767);
    EXPECT_EQ(Clamp16(32768), 32767);
    EXPECT_EQ(Clamp16(33265), 32767);
    EXPECT_EQ(Clamp16(-32768), -32768);
    EXPECT_EQ(Clamp16(-32769), -32768);
    EXPECT_EQ(Clamp16(-175), -175);
    EXPECT_EQ(Add16(32761, 504), 32767);
    EXPECT_EQ(Add16(32767, 1), 32767);
    EXPECT_EQ(Add16(-32768, -25), -32768);
    EXPECT_EQ(Add16(150, -25), 125);
}

TEST(Rnd, FirstDrawsAreExactSequenceValues)
{
    // state = (state * 1140671485 + 12820163) mod 2^24, from 327680; value = state / 2^24.
    const std::uint32_t states[] = {11837123, 8949370, 9722709, 4858052, 5065847, 12997982, 235177, 12762824};
    RandomSource random;
    EXPECT_EQ(random.State(), 327680u);
    for (const std::uint32_t state : states) {
        const float value = random.Rnd();
        EXPECT_EQ(random.State(), state);
        EXPECT_EQ(value, static_cast<float>(state) / 16777216.0f) << "state " << state;
    }
}

TEST(Rnd, ValuesStayInTheUnitIntervalAndSpanIt)
{
    RandomSource random;
    float low = 1;
    float high = 0;
    for (int i = 0; i < 1 << 16; ++i) {
        const float value = random.Rnd();
        ASSERT_GE(value, 0.0f);
        ASSERT_LT(value, 1.0f);
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_LT(low, 0.001f);
    EXPECT_GT(high, 0.999f);
}

TEST(Rnd, DriftDrawCoversMinus250To249)
{
    // Over the generator's whole period every 24-bit state occurs once, the extremes included.
    RandomSource random;
    std::array<bool, 500> drifts{};
    std::array<bool, 720> spawns{};
    int lowDrift = 0;
    int highDrift = 0;
    for (int i = 0; i < 1 << 24; ++i) {
        const double value = random.Rnd();
        const int drift = Int(value * 500.0 - 250.0);
        const int spawn = Int(value * 720.0 + 2880.0);
        ASSERT_GE(drift, -250);
        ASSERT_LE(drift, 249);
        ASSERT_GE(spawn, 2880);
        ASSERT_LE(spawn, 3599);
        lowDrift = std::min(lowDrift, drift);
        highDrift = std::max(highDrift, drift);
        drifts[static_cast<std::size_t>(drift + 250)] = true;
        spawns[static_cast<std::size_t>(spawn - 2880)] = true;
    }
    EXPECT_EQ(lowDrift, -250);
    EXPECT_EQ(highDrift, 249);
    EXPECT_EQ(std::count(drifts.begin(), drifts.end(), true), 500);
    EXPECT_EQ(std::count(spawns.begin(), spawns.end(), true), 720);
    EXPECT_EQ(random.State(), RandomSource::StartState);
}
