// The game's one random source: a 24-bit linear congruential generator that is never seeded.
#pragma once

#include <cstdint>

namespace farvane {

class RandomSource {
public:
    static constexpr std::uint32_t StartState = 327680;

    // The next Single in [0, 1): state / 2^24, exact in a float.
    float Rnd()
    {
        state = (state * 1140671485u + 12820163u) & 0xFFFFFFu;
        return static_cast<float>(state) / 16777216.0f;
    }

    std::uint32_t State() const { return state; }
    bool operator==(const RandomSource&) const = default;

private:
    std::uint32_t state = StartState;
};

} // namespace farvane
