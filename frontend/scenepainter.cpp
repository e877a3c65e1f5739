// Placeholder painter.
#include "frontend/scenepainter.h"

#include <QPainter>

namespace farvane {

void paintScene(QPainter& painter, const Scene&) { painter.fillRect(0, 0, 441, 425, Qt::black); }

QImage renderScene(const Scene& scene, qreal devicePixelRatio)
{
    QImage image(QSize(441, 425) * devicePixelRatio, QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    paintScene(painter, scene);
    return image;
}

} // namespace farvane
