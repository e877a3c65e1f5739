// --screenshot: the shared rasterizer draws the scene, picture_png encodes it, written beside the target and
// renamed over it.
#include "cli/screenshot.h"

#include <new>
#include <unistd.h>

#include "files/atomicfile.h"
#include "picture/png.h"
#include "picture/raster.h"
#include "script/script.h"

namespace farvane {

bool isPngPath(std::string_view path)
{
    constexpr std::string_view Suffix = ".png";
    if (path.size() < Suffix.size())
        return false;
    const std::string_view tail = path.substr(path.size() - Suffix.size());
    for (std::size_t i = 0; i < Suffix.size(); ++i) {
        const char c = tail[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != Suffix[i])
            return false;
    }
    return true;
}

bool saveScreenshot(const Scene& scene, const std::string& path, double ratio)
{
    std::string reason;
    bool written = false;
    try {
        FrameBuffer frame(ratio);
        rasterize(scene, frame);
        std::string png;
        written = encodePng(frame, png, reason) && writeFileAtomically(path, png, reason);
    } catch (const std::bad_alloc&) {
        // Whatever was made is freed on the way out, the temporary file included.
        reason = "not enough memory";
    }
    if (!written) {
        writeAll(STDERR_FILENO, "farvane: cannot write " + printableName(path) + ": " + reason + "\n");
        return false;
    }
    return true;
}

} // namespace farvane
