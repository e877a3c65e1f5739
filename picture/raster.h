// The scene rasterizer every host draws with: a Scene becomes the 441 by 425 logical pixels of the
// client area, at any device pixel ratio, in a plain pixel buffer the host shows as it likes.
#pragma once

#include <cstdint>
#include <vector>

#include "playfield/scene.h"

namespace farvane {

constexpr int ClientWidth = 441;  // logical pixels
constexpr int ClientHeight = 425; // logical pixels

enum class PixelOrder : std::uint8_t {
    Argb32,   // one std::uint32_t 0xAARRGGBB per pixel (QImage::Format_RGB32 / ARGB32)
    Rgba8888, // bytes R,G,B,A in memory (canvas ImageData, QImage::Format_RGBA8888)
};

struct PixelRect { // logical pixels
    int x = 0, y = 0, width = 0, height = 0;
};

// One frame of the client area at the device's resolution; it owns its pixels, and their alpha is
// always 255. A host keeps one and hands it to every rasterize call.
class FrameBuffer {
public:
    explicit FrameBuffer(double devicePixelRatio = 1.0, PixelOrder order = PixelOrder::Argb32);

    double devicePixelRatio() const { return ratio_; }
    PixelOrder order() const { return order_; }
    int width() const { return width_; }               // device pixels: lround(441 * ratio)
    int height() const { return height_; }             // device pixels: lround(425 * ratio)
    std::uint32_t* pixels() { return pixels_.data(); } // row-major
    const std::uint32_t* pixels() const { return pixels_.data(); }
    int stride() const { return width_; } // pixels per row

    // The device pixels a logical rectangle's pixels can touch, not cut to the frame: from the
    // block of its first pixel to the end of the block of its last.
    PixelRect deviceRect(PixelRect logical) const;
    // The device column (or row) where logical pixel `logical`'s block starts: lround(logical * ratio).
    int deviceEdge(int logical) const;
    // The side of the square block of device pixels every logical pixel becomes: the ratio, rounded
    // up when it is fractional (2 at 1.5), so blocks may overlap by a device pixel but never leave a gap.
    int blockSize() const;

private:
    double ratio_;
    PixelOrder order_;
    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};

// Draws the whole client area: the black ground, then every element in paint order.
void rasterize(const Scene& scene, FrameBuffer& frame);
// The same, touching only the device pixels of `clip` (logical pixels): the pixels inside it end up
// exactly as a full rasterize leaves them, the rest stay as they were.
void rasterize(const Scene& scene, FrameBuffer& frame, PixelRect clip);

} // namespace farvane
