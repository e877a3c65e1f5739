// One full repaint of the 441 by 425 client area into an offscreen image, at ratio 1 and 2.
#include <benchmark/benchmark.h>

#include <cstdint>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "allocations.h"
#include "desktop/scenepainter.h"
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

// Paints into an image kept from frame to frame, as a window paints into its backing store.
void BM_PaintScene(benchmark::State& state)
{
    const qreal ratio = static_cast<qreal>(state.range(0));
    QImage target(QSize(441, 425) * ratio, QImage::Format_RGB32);
    target.setDevicePixelRatio(ratio);
    {
        QPainter warmUp(&target); // the first frame builds the glyph atlas and the frame buffer
        farvane::paintScene(warmUp, scene());
    }
    const std::uint64_t before = farvane::bench::allocationCount();
    for (auto _ : state) {
        QPainter painter(&target);
        farvane::paintScene(painter, scene());
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["allocs_per_frame"] = benchmark::Counter(
        static_cast<double>(farvane::bench::allocationCount() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PaintScene)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// renderScene as the screenshot uses it: a new image every time.
void BM_RenderScene(benchmark::State& state)
{
    const qreal ratio = static_cast<qreal>(state.range(0));
    benchmark::DoNotOptimize(farvane::renderScene(scene(), ratio).constBits());
    for (auto _ : state) {
        const QImage image = farvane::renderScene(scene(), ratio);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_RenderScene)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
