// Stand-in for the shared rasterizer until it lands: fills element boxes only.
#pragma once

#include <cstdint>
#include <vector>

#include "playfield/scene.h"

namespace farvane {

constexpr int ClientWidth = 441, ClientHeight = 425;

enum class PixelOrder : std::uint8_t { Argb32, Rgba8888 };

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class FrameBuffer {
public:
    explicit FrameBuffer(double devicePixelRatio = 1.0, PixelOrder order = PixelOrder::Argb32);
    double devicePixelRatio() const { return ratio; }
    PixelOrder order() const { return pixelOrder; }
    int width() const { return w; }
    int height() const { return h; }
    std::uint32_t* pixels() { return data.data(); }
    const std::uint32_t* pixels() const { return data.data(); }
    int stride() const { return w; }

private:
    double ratio;
    PixelOrder pixelOrder;
    int w, h;
    std::vector<std::uint32_t> data;
};

void rasterize(const Scene& scene, FrameBuffer& frame);

} // namespace farvane
