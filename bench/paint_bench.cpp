// One full rasterize of the 441 by 425 client area into a frame buffer, at ratio 1 and 2; and the
// window's repaint of a frame of play, whole as it was and only where it changed as it is now.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include <QImage>
#include <QPainter>

#include "allocations.h"
#include "desktop/framepaint.h"
#include "game/form.h"
#include "picture/raster.h"
#include "picture/scenediff.h"

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

// Frames of a game in flight from 900 points: one per tick, and a steering press on every eighth
// tick (Left and Right in turn), as a player who dodges now and then plays.
const std::vector<farvane::Scene>& playedFrames()
{
    static SilentHost host;
    static const std::vector<farvane::Scene> frames = [] {
        Veskara form = busyScene(host);
        form.lblReady.Caption.clear();
        form.Player1.Left = -1.0e6f; // out of every obstacle's way, so the game runs on
        std::vector<farvane::Scene> played;
        for (int tick = 0; tick < 400; ++tick) {
            form.Timer1_Timer();
            if (tick % 8 == 7) {
                std::int16_t key = tick % 16 == 7 ? farvane::KeyLeft : farvane::KeyRight;
                form.Form_KeyDown(key, 0);
            }
            played.push_back(form);
        }
        return played;
    }();
    return frames;
}

// The backing store the window paints into: the client area at the device's resolution.
QImage backingStore(double ratio)
{
    const farvane::FrameBuffer frame(ratio);
    QImage store(frame.width(), frame.height(), QImage::Format_RGB32);
    store.setDevicePixelRatio(ratio);
    return store;
}

// The repaint as it was: the whole scene rasterized and the whole frame copied to the store.
void BM_RepaintWhole(benchmark::State& state)
{
    const double ratio = static_cast<double>(state.range(0));
    const std::vector<farvane::Scene>& frames = playedFrames();
    farvane::FrameBuffer frame(ratio);
    QImage store = backingStore(ratio);
    const QRegion whole(0, 0, farvane::ClientWidth, farvane::ClientHeight);
    std::size_t next = 0;
    for (auto _ : state) {
        QPainter painter(&store);
        farvane::paintRegion(painter, frames[next], frame, whole);
        next = (next + 1) % frames.size();
    }
}
BENCHMARK(BM_RepaintWhole)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The repaint as the window does it now: the changed rectangles found, rasterized and copied.
void BM_RepaintChanged(benchmark::State& state)
{
    const double ratio = static_cast<double>(state.range(0));
    const std::vector<farvane::Scene>& frames = playedFrames();
    farvane::FrameBuffer frame(ratio);
    QImage store = backingStore(ratio);
    farvane::SceneChanges changes;
    changes.since(frames.back());
    farvane::rasterize(frames.back(), frame);
    std::size_t next = 0;
    double area = 0;
    double rects = 0;
    for (auto _ : state) {
        const farvane::Scene& scene = frames[next];
        const QRegion region = farvane::changedRegion(changes.since(scene));
        QPainter painter(&store);
        farvane::paintRegion(painter, scene, frame, region);
        for (const QRect& rect : region)
            area += rect.width() * rect.height();
        rects += region.rectCount();
        next = (next + 1) % frames.size();
    }
    state.counters["logical_px_per_frame"] = benchmark::Counter(area, benchmark::Counter::kAvgIterations);
    state.counters["rects_per_frame"] = benchmark::Counter(rects, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RepaintChanged)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

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
