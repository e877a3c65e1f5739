// Stand-in for the shared rasterizer until it lands: fills element boxes only.
#include "common/raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace farvane {

FrameBuffer::FrameBuffer(double devicePixelRatio, PixelOrder order)
    : ratio(devicePixelRatio), pixelOrder(order), w(static_cast<int>(std::lround(ClientWidth * devicePixelRatio))),
      h(static_cast<int>(std::lround(ClientHeight * devicePixelRatio))),
      data(static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
{
}

namespace {

std::uint32_t pixel(const FrameBuffer& frame, Colour colour)
{
    const std::uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    if (frame.order() == PixelOrder::Argb32)
        return 0xFF000000u | (r << 16) | (g << 8) | b;
    const unsigned char bytes[4] = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                    static_cast<unsigned char>(b), 255};
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

void fill(FrameBuffer& frame, float left, float top, float width, float height, Colour colour)
{
    const double r = frame.devicePixelRatio() / TwipsPerPixel;
    const int x0 = std::clamp(static_cast<int>(left * r), 0, frame.width());
    const int y0 = std::clamp(static_cast<int>(top * r), 0, frame.height());
    const int x1 = std::clamp(static_cast<int>((left + width) * r), 0, frame.width());
    const int y1 = std::clamp(static_cast<int>((top + height) * r), 0, frame.height());
    const std::uint32_t value = pixel(frame, colour);
    for (int y = y0; y < y1; ++y)
        std::fill(frame.pixels() + y * frame.stride() + x0, frame.pixels() + y * frame.stride() + x1, value);
}

} // namespace

void rasterize(const Scene& scene, FrameBuffer& frame)
{
    std::fill(frame.pixels(), frame.pixels() + frame.stride() * frame.height(), pixel(frame, Black));
    scene.forEachInPaintOrder([&](const auto& element) {
        using Kind = std::decay_t<decltype(element)>;
        if constexpr (std::is_same_v<Kind, Shape>) {
            if (element.Visible)
                fill(frame, element.Left, element.Top, element.Width, element.Height, element.BorderColor);
        }
    });
}

} // namespace farvane
