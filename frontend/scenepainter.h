// Draws the scene as the window shows it, pixel for pixel at 15 twips a pixel.
#pragma once

#include <QImage>

#include "playfield/scene.h"

class QPainter;

namespace farvane {

// Paints the client area (441 by 425 logical pixels) with `painter`, in the scene's stacking order.
void paintScene(QPainter& painter, const Scene& scene);

// The client area drawn into an image at the given device pixel ratio.
QImage renderScene(const Scene& scene, qreal devicePixelRatio = 1.0);

} // namespace farvane
