// Draws the scene as the window shows it, pixel for pixel at 15 twips a pixel.
#pragma once

#include <QImage>
#include <QString>

#include "playfield/scene.h"

class QPainter;

namespace farvane {

// The labels' fixed-pitch font, loaded from this file so the labels never depend on the desktop.
inline const QString LabelFontPath = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");

// Loads the labels' font file into the application (needs a QGuiApplication); once per path.
// On failure `error` says why. Painting without it falls back to the desktop's monospace font,
// after one message on standard error.
bool loadLabelFont(QString* error = nullptr, const QString& path = LabelFontPath);

// Paints the client area (441 by 425 logical pixels) with `painter`, in the scene's stacking order.
// Only reads the scene. On a device pixel ratio of 2 every pixel becomes a crisp 2 by 2 block and
// the text is drawn at the device's resolution.
void paintScene(QPainter& painter, const Scene& scene);

// The client area drawn into an image at the given device pixel ratio.
QImage renderScene(const Scene& scene, qreal devicePixelRatio = 1.0);

} // namespace farvane
