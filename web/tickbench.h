// The game tick timed the same way in the page's WebAssembly and natively, so the two compare.
#pragma once

#include <cstdint>

namespace farvane {

// Runs `ticks` game ticks of games in flight from 0 to 2400 points (the vehicle out of the way,
// each game starting over from the same started form); returns the nanoseconds per tick.
double tickNanos(std::int64_t ticks);

} // namespace farvane
