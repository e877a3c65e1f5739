// What a frame must draw again: the client-area rectangles where two scenes can differ, so a host
// repaints only those (the window's update region, the browser's putImageData dirty rectangles).
#pragma once

#include <vector>

#include "picture/raster.h"
#include "playfield/scene.h"

namespace farvane {

// Every logical pixel an element can touch when drawn (outline, line ends, text and all), cut to
// the client area; empty when it draws nothing there.
PixelRect footprint(const Shape& shape);
PixelRect footprint(const Line& line);
PixelRect footprint(const Label& label);

// Sets `rects` to the logical-pixel rectangles that a frame showing `drawn` must draw again to show
// `now`: the old and the new place of every element whose box, visibility, colour, outline or
// caption changed (for a large shape, the four sides of its outline, not the inside it leaves
// alone); rectangles that lie close together come as one. None is empty; they may overlap.
// `rects` keeps its storage, so a host that reuses it allocates nothing from frame to frame.
void changedRects(const Scene& drawn, const Scene& now, std::vector<PixelRect>& rects);

// The scene a host last asked to be drawn, and what changed since.
class SceneChanges {
public:
    // The rectangles to draw again to show `now` (the whole client area the first time and after
    // reset), and `now` remembered as asked for.
    const std::vector<PixelRect>& since(const Scene& now);
    // The next call gives the whole client area: the frame's pixels are gone or stale.
    void reset() { known = false; }

private:
    Scene last;
    bool known = false;
    std::vector<PixelRect> rects;
};

} // namespace farvane
