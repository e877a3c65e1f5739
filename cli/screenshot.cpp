// --screenshot: the shared rasterizer draws the scene, libpng encodes it, one function writes it.
#include "cli/screenshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "common/png.h"
#include "common/raster.h"

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

bool writeFileBytes(const std::string& path, const std::string& bytes, std::string& reason)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        reason = std::strerror(!written && writeErrno != 0 ? writeErrno : errno != 0 ? errno : EIO);
        std::remove(path.c_str()); // no half-written picture left behind
        return false;
    }
    return true;
}

bool saveScreenshot(const Scene& scene, const std::string& path)
{
    FrameBuffer frame(1.0);
    rasterize(scene, frame);
    std::string png;
    std::string reason;
    if (!encodePng(frame, png, reason) || !writeFileBytes(path, png, reason)) {
        std::cerr << "farvane: cannot write " << path << ": " << reason << "\n";
        return false;
    }
    return true;
}

} // namespace farvane
