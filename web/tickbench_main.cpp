// The native side of the tick comparison: prints nanoseconds per game tick, one run per line.
#include <cstdio>
#include <cstdlib>

#include "web/tickbench.h"

int main(int argc, char** argv)
{
    const long long ticks = argc > 1 ? std::atoll(argv[1]) : 2'000'000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    for (int run = 0; run < runs; ++run)
        std::printf("%.2f\n", farvane::tickNanos(ticks));
    return 0;
}
