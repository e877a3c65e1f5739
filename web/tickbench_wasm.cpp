// The WebAssembly side of the tick comparison, a module of its own beside the page (never in it):
// bench/web_bench.py loads it into a page of its own and calls tick_nanos.
#include <cstdint>

#include <emscripten.h>

#include "web/tickbench.h"

extern "C" EMSCRIPTEN_KEEPALIVE double tick_nanos(double ticks)
{
    return farvane::tickNanos(static_cast<std::int64_t>(ticks));
}
