// --screenshot: the client area after a script, as a PNG file; no display and no Qt needed.
#pragma once

#include <string>
#include <string_view>

#include "playfield/scene.h"

namespace farvane {

// True when `path` ends in ".png", in any letter case: the only format a screenshot is written in.
bool isPngPath(std::string_view path);

// Draws `scene` at device pixel ratio `ratio` and writes it to `path` as PNG. On failure writes
// "farvane: cannot write PATH: reason" to standard error and returns false.
bool saveScreenshot(const Scene& scene, const std::string& path, double ratio = 1.0);

} // namespace farvane
