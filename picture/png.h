// A frame as PNG bytes (8-bit RGB, no alpha: every pixel of a frame is opaque): libpng encodes
// (png.cpp), on Windows the system's imaging component (png_wic.cpp).
#pragma once

#include <string>

#include "picture/raster.h"

namespace farvane {

// Encodes `frame` into `png`. On failure returns false and says why in `error`.
bool encodePng(const FrameBuffer& frame, std::string& png, std::string& error);

} // namespace farvane
