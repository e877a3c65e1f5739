// The scene view's paint: rasterize the asked rectangles, hand Qt those pixels of the frame.
#include "desktop/framepaint.h"

#include <cmath>

#include <QImage>

namespace farvane {

QRegion changedRegion(const std::vector<PixelRect>& rects)
{
    QRegion region;
    for (const PixelRect& rect : rects)
        region += QRect(rect.x, rect.y, rect.width, rect.height);
    return region;
}

void paintRegion(QPainter& painter, const Scene& scene, FrameBuffer& frame, const QRegion& region, bool frameIsCurrent)
{
    const double ratio = frame.devicePixelRatio();
    QImage image(reinterpret_cast<uchar*>(frame.pixels()), frame.width(), frame.height(),
                 static_cast<qsizetype>(frame.stride()) * 4, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QRect client(0, 0, ClientWidth, ClientHeight);
    // At a fractional ratio neighbouring logical pixels share device pixels and the view's origin
    // may fall between two of them, so pieces of a frame do not fit together exactly: there every
    // paint draws the whole frame. Partial repaints are for whole ratios, where they are exact.
    if (ratio != std::floor(ratio)) {
        if (!frameIsCurrent)
            rasterize(scene, frame);
        painter.drawImage(QPointF(0, 0), image);
        return;
    }
    for (const QRect& asked : region) {
        // One logical pixel more on every side, so every device pixel Qt shows is this frame's.
        const QRect dirty = asked.adjusted(-1, -1, 1, 1).intersected(client);
        const PixelRect logical{dirty.x(), dirty.y(), dirty.width(), dirty.height()};
        if (!frameIsCurrent)
            rasterize(scene, frame, logical);
        const PixelRect device = frame.deviceRect(logical);
        painter.drawImage(QPointF(device.x / ratio, device.y / ratio), image,
                          QRectF(device.x, device.y, device.width, device.height));
    }
}

} // namespace farvane
