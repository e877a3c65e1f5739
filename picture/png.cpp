// PNG encoding with libpng, into memory: the caller decides how the bytes reach a file.
#include "picture/png.h"

#include <csetjmp>
#include <new>
#include <vector>

#include <png.h>

namespace farvane {

namespace {

struct Sink {
    std::string* bytes;
    std::string message;
};

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    // No exception may cross libpng: a failed allocation leaves through its error path instead.
    bool appended = false;
    try {
        sink->bytes->append(reinterpret_cast<const char*>(data), length);
        appended = true;
    } catch (const std::bad_alloc&) {
    }
    if (!appended)
        png_error(png, "Out of memory");
}

void noFlush(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
    sink->message = message;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

} // namespace

bool encodePng(const FrameBuffer& frame, std::string& png, std::string& error)
{
    // The rows as R, G, B bytes, made before libpng starts: nothing with a destructor lives across
    // its longjmp.
    const auto width = static_cast<std::size_t>(frame.width());
    const auto height = static_cast<std::size_t>(frame.height());
    std::vector<png_byte> rgb(width * height * 3);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint32_t* row = frame.pixels() + y * static_cast<std::size_t>(frame.stride());
        png_byte* out = rgb.data() + y * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            if (frame.order() == PixelOrder::Argb32) {
                out[3 * x] = static_cast<png_byte>(p >> 16);
                out[3 * x + 1] = static_cast<png_byte>(p >> 8);
                out[3 * x + 2] = static_cast<png_byte>(p);
            } else {
                const auto* bytes = reinterpret_cast<const png_byte*>(&row[x]); // R, G, B, A in memory
                out[3 * x] = bytes[0];
                out[3 * x + 1] = bytes[1];
                out[3 * x + 2] = bytes[2];
            }
        }
    }
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y)
        rows[y] = rgb.data() + y * width * 3;

    std::string bytes;
    Sink sink{&bytes, {}};
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = writer ? png_create_info_struct(writer) : nullptr;
    if (!writer || !info) {
        png_destroy_write_struct(&writer, nullptr);
        error = "not enough memory";
        return false;
    }
    if (setjmp(png_jmpbuf(writer))) {
        png_destroy_write_struct(&writer, &info);
        // libpng says "Out of memory" (or "Insufficient memory") when an allocation fails.
        error = sink.message.find("emory") != std::string::npos ? "not enough memory"
                                                                : "cannot encode the PNG: " + sink.message;
        return false;
    }
    png_set_write_fn(writer, &sink, appendBytes, noFlush);
    png_set_IHDR(writer, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(writer, info, rows.data());
    png_write_png(writer, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&writer, &info);
    png = std::move(bytes);
    return true;
}

} // namespace farvane
