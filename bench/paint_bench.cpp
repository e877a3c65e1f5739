// One full rasterize of the 441 by 425 client area into a frame buffer, at ratio 1 and 2.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "allocations.h"
#include "common/raster.h"
#include "game/form.h"

namespace {

using farvane::Veskara;

class SilentHost : public farvane::Host {
public:
    void MsgBox(std::string_view, std::string_view) override {}
    void End() override {}
};

// A busy frame: a game past 900 points with every obstacle in flight, both road edges swung to
// the left, a high score, and the longest text the ready label shows.
Veskara busyScene(farvane::Host& host)
{
    Veskara form(host);
    form.Form_Load();
    form.mnuStart_Click();
    for (int k = 0; k < 4; ++k)
        form.Timer2_Timer();
    form.Player1.Left = -1.0e6f; // out of every obstacle's way, so the game runs on
    for (int k = 0; k < 900; ++k)
        form.Timer1_Timer();
    form.Player1.Left = Veskara(host).Player1.Left;
    for (int k = 0; k < 3; ++k) {
        std::int16_t left = farvane::KeyLeft;
        form.Form_KeyDown(left, 0);
    }
    for (auto& obstacle : form.Obstacle)
        obstacle.Visible = true;
    for (auto& obstacle : form.BigObstacle)
        obstacle.Visible = true;
    form.lblHigh.Caption = "2417";
    form.mnuHow_Click();
    return form;
}

const Veskara& scene()
{
    static SilentHost host;
    static const Veskara form = busyScene(host);
    return form;
}

// Draws into a frame buffer kept from frame to frame, as the window does.
void BM_PaintScene(benchmark::State& state)
{
    farvane::FrameBuffer frame(static_cast<double>(state.range(0)));
    farvane::rasterize(scene(), frame);
    const std::uint64_t before = farvane::bench::allocationCount();
    for (auto _ : state) {
        farvane::rasterize(scene(), frame);
        benchmark::DoNotOptimize(frame.pixels());
    }
    state.counters["allocs_per_frame"] = benchmark::Counter(
        static_cast<double>(farvane::bench::allocationCount() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PaintScene)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// A new frame buffer every time, as --screenshot draws.
void BM_RenderScene(benchmark::State& state)
{
    for (auto _ : state) {
        farvane::FrameBuffer frame(static_cast<double>(state.range(0)));
        farvane::rasterize(scene(), frame);
        benchmark::DoNotOptimize(frame.pixels());
    }
}
BENCHMARK(BM_RenderScene)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
