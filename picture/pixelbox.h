// Twips to logical pixels, as the rasterizer draws them and the repaints follow them.
#pragma once

#include <algorithm>
#include <cmath>

#include "picture/raster.h"
#include "playfield/element.h"

namespace farvane {

// A rectangle of logical pixels from (left, top) up to, not including, (right, bottom).
struct PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;

    bool empty() const { return right <= left || bottom <= top; }
    PixelBox intersected(const PixelBox& other) const
    {
        return PixelBox{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                        std::min(bottom, other.bottom)};
    }
    bool operator==(const PixelBox&) const = default;
};

constexpr PixelBox ClientBox{0, 0, ClientWidth, ClientHeight};

// Far enough outside the client area to keep every later sum inside an int.
constexpr double PixelLimit = 1 << 20;

// The pixel that holds the twip position: floor, so -1 twip lies in pixel -1, not 0.
inline int toPixel(double twips)
{
    const double pixels = std::floor(twips / TwipsPerPixel);
    if (!(pixels >= -PixelLimit)) // also catches NaN
        return static_cast<int>(-PixelLimit);
    if (!(pixels <= PixelLimit))
        return static_cast<int>(PixelLimit);
    return static_cast<int>(pixels);
}

// The pixels an element's box covers: from Left up to, not including, Left + Width, so its last
// pixel column holds x = Left + Width - 15. A box narrower than a pixel still covers one.
inline PixelBox pixelBox(float left, float top, float width, float height)
{
    const int x0 = toPixel(left);
    const int y0 = toPixel(top);
    const int x1 = std::max(x0, toPixel(double(left) + double(width)) - 1);
    const int y1 = std::max(y0, toPixel(double(top) + double(height)) - 1);
    return PixelBox{x0, y0, x1 + 1, y1 + 1};
}

} // namespace farvane
