// Counts every call of the global operator new in a benchmark program.
#pragma once

#include <cstdint>

namespace farvane::bench {

// How many times the global operator new (any form) has run in this process.
std::uint64_t allocationCount();

} // namespace farvane::bench
