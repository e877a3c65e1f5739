// The game tick and a key press in a game in flight, with the heap allocations they make.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "allocations.h"
#include "game/form.h"

namespace {

using farvane::Veskara;

// Answers every box at once, as the headless host does, and counts them.
class SilentHost : public farvane::Host {
public:
    void MsgBox(std::string_view, std::string_view) override { ++boxes; }
    void End() override {}
    std::int64_t boxes = 0;
};

// A loaded form past Start and the four countdown ticks: the game tick runs from here.
Veskara startedGame(farvane::Host& host)
{
    Veskara form(host);
    form.Form_Load();
    form.mnuStart_Click();
    for (int k = 0; k < 4; ++k)
        form.Timer2_Timer();
    return form;
}

// Far left of anything that can fall: no obstacle ever reaches the vehicle's box.
void moveVehicleAway(Veskara& form) { form.Player1.Left = -1.0e6f; }

void reportAllocations(benchmark::State& state, std::uint64_t before)
{
    const auto made = static_cast<double>(farvane::bench::allocationCount() - before);
    state.counters["allocs"] = made; // over the whole run, not per iteration
}

// Ticks through whole games from 0 to 2400 points: every milestone, the big obstacles from 800
// on and every return to the horizon; then the game starts over from the same state.
void BM_GameTick(benchmark::State& state)
{
    constexpr int GameTicks = 2400;
    SilentHost host;
    Veskara start = startedGame(host);
    moveVehicleAway(start);
    Veskara form = start;
    int ticks = 0;
    const std::uint64_t before = farvane::bench::allocationCount();
    for (auto _ : state) {
        form.Timer1_Timer();
        if (++ticks == GameTicks) {
            form = start; // reuses every caption's storage
            ticks = 0;
        }
        benchmark::ClobberMemory();
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_GameTick);

// Real games: the vehicle stays where it is, takes its hits and loses; each lost game (its box
// included) starts over from the same state.
void BM_GameTickWithHits(benchmark::State& state)
{
    SilentHost host;
    const Veskara start = startedGame(host);
    Veskara form = start;
    std::int64_t games = 0;
    const std::uint64_t before = farvane::bench::allocationCount();
    for (auto _ : state) {
        form.Timer1_Timer();
        if (!form.Timer1.Enabled) {
            form = start;
            ++games;
        }
        benchmark::ClobberMemory();
    }
    reportAllocations(state, before);
    state.counters["ticks_per_game"] =
        games > 0 ? static_cast<double>(state.iterations()) / static_cast<double>(games) : 0.0;
}
BENCHMARK(BM_GameTickWithHits);

// Left and Right in turn in a running game: each press swings the road edges, shifts every
// obstacle and adds 5 points. The score starts over every 4096 presses.
void BM_KeyPress(benchmark::State& state)
{
    SilentHost host;
    Veskara start = startedGame(host);
    moveVehicleAway(start); // a lost game would ignore every key
    for (int k = 0; k < 100; ++k)
        start.Timer1_Timer();
    Veskara form = start;
    std::uint32_t presses = 0;
    const std::uint64_t before = farvane::bench::allocationCount();
    for (auto _ : state) {
        std::int16_t code = (presses & 1) ? farvane::KeyRight : farvane::KeyLeft;
        form.Form_KeyDown(code, 0);
        if ((++presses & 4095) == 0)
            form = start;
        benchmark::ClobberMemory();
    }
    reportAllocations(state, before);
    // Each press that is not refused adds 5 points: make sure the presses really steered.
    const double points =
        farvane::CaptionToNumber(form.lblScore.Caption) - farvane::CaptionToNumber(start.lblScore.Caption);
    if (presses % 4096 > 0 && points != 5.0 * (presses % 4096))
        state.SkipWithError("a key press was refused");
}
BENCHMARK(BM_KeyPress);

} // namespace

BENCHMARK_MAIN();
