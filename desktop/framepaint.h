// The scene view's paint: the shared rasterizer's frame shown through Qt, only where it changed.
#pragma once

#include <vector>

#include <QPainter>
#include <QRegion>

#include "picture/raster.h"
#include "playfield/scene.h"

namespace farvane {

// The update region for changed rectangles (logical pixels).
QRegion changedRegion(const std::vector<PixelRect>& rects);

// Draws `scene` into `frame` inside every rectangle of `region` (logical pixels; skipped when
// `frameIsCurrent`, the frame already showing the scene there) and shows those pixels of the frame
// through `painter`, a painter on a device of the frame's ratio. The frame's pixels are wrapped,
// not copied, and only the region's rectangles go to the device.
void paintRegion(QPainter& painter, const Scene& scene, FrameBuffer& frame, const QRegion& region,
                 bool frameIsCurrent = false);

} // namespace farvane
